// The settings storage in a hostile world: random sequences of starts, saves, failing saves and
// outside changes (editors, links, FIFOs, chmod, a second copy of the program) on a real folder,
// through the storage code the program runs, with invariants checked after every step. The
// seeded test and the fuzz target both run it.
//
// The invariants, by number:
// 1. After a save reported done, reading gives back exactly the values saved.
// 2. Content the program did not read whole is kept, before a save replaces it, in a file of
//    its own that nothing changes later.
// 3. Nothing the program did not make is removed or changed, but the file by a save (at the end
//    of its links) and, after a save, a killed save's leftover a minute old.
// 4. One kept copy per content, and none of what the dialog read whole; no leftover older
//    than a minute after a save.
// 5. A saved file is readable by its owner, and keeps its other permission bits.
// 6. A save keeps what it replaces that this copy of the program never read (another copy's
//    save, an editor's) as it keeps a file not read whole.
// 7. What a start shows is the file's values, or its warning names each value it could not read.
// 8. A save of values the dialog lets through, to a file that can be replaced, does not fail.
// 9. A save syncs every file it writes (the new one, a copy it keeps) before the new one takes the
//    name, and the folder after.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace storagemodel {

// Where a sequence's choices come from: a seeded generator, or a fuzzer's bytes.
class Choices {
public:
    virtual ~Choices() = default;
    virtual quint32 below(quint32 bound) = 0; // 0 to bound - 1
};

struct Step {
    // A copy of the program starts (or builds its settings dialog anew), saves, saves while a
    // system call fails, or saves while the other copy saves; or the world writes the file,
    // rewrites its bytes, changes a mode, puts something else in its place, or something beside it.
    enum Kind { Load, Save, FailingSave, Overlapped, Write, Rewrite, Chmod, Becomes, Beside };
    Kind kind = Load;
    int copy = 0;    // which copy of the program: 0 or 1
    int variant = 0; // the kind's own choice: which call fails, which mode, which link...
    QStringList values;
    QByteArray bytes;
};

struct Sequence {
    // 1: a file system without second names (FAT); 2: nor rename flags (an old FUSE one).
    int oddFileSystem = 0;
    std::vector<Step> steps;
};

struct Broken {
    int invariant;
    int step; // its index in the sequence
    QString detail;
};

Sequence drawSequence(Choices &choices, int length);

// One numbered line a step.
QString describe(const Sequence &sequence);

// Runs the sequence in a new folder: the first broken invariant, or nothing.
std::optional<Broken> run(const Sequence &sequence);

// The shortest and plainest sequence found, by leaving steps out and simplifying them, that
// still breaks the same invariant.
Sequence shrink(Sequence sequence, const Broken &broken);

} // namespace storagemodel
