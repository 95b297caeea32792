// The settings storage as a hostile world uses it: random sequences of starts, saves, failing
// saves and outside changes (editors, links, FIFOs, chmod, a second copy of the program) on a
// real folder, through the storage code the program runs, with invariants checked after every
// step. The seeded test and the fuzz target both run it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace storagemodel {

// Where the sequence's choices come from: a seeded generator, or a fuzzer's bytes.
class Choices {
public:
    virtual ~Choices() = default;
    virtual quint32 below(quint32 bound) = 0; // 0 to bound - 1
};

struct Step {
    enum Kind {
        Load,        // a copy of the program starts, or builds its settings dialog anew
        Save,        // that copy's dialog is closed: its values are saved
        FailingSave, // the same, while one system call fails
        Edit,        // an editor rewrites the file in place
        Replace,     // a new file is renamed over it
        Truncate,
        LineEnds, // CR LF turned into LF, CR CR LF or CR
        ExtraLines,
        Garbage,    // any bytes written in place
        Chmod,      // of the file or its folder
        LinkAsFile, // the file becomes a symbolic link: elsewhere, a chain, dangling, a loop
        LinkAtKeptName,
        Fifo,
        Leftover, // a file a killed save left, or one named like it
        Remove,
        KindCount
    };
    Kind kind = Load;
    int copy = 0;    // which copy of the program: 0 or 1
    int variant = 0; // the kind's own choice
    QStringList values;
    QByteArray bytes;
};

struct Sequence {
    bool noHardLinks = false; // the file system makes no second names (FAT, exFAT)
    std::vector<Step> steps;
};

struct Broken {
    int invariant;
    int step; // index into the sequence
    QString detail;
};

Sequence drawSequence(Choices &choices, int length);

// The sequence in words, one numbered step a line.
QString describe(const Sequence &sequence);

// Runs the sequence in a new folder: the first broken invariant, or nothing.
std::optional<Broken> run(const Sequence &sequence);

// The shortest sequence that removing steps one by one finds still breaking the same invariant.
Sequence shrink(Sequence sequence, const Broken &broken);

} // namespace storagemodel
