// The settings storage in a hostile world: random sequences of program steps (starts, and saves
// that go plainly, meet an outside action at their n-th system call, have it fail, or are killed
// before it) and outside actions on a real folder, with laws checked after every program step.
// The laws are conservation laws over snapshots of the whole tree; where one must know a rule it
// asks the product. The seeded test and the fuzz target both run it.
//
// The laws, by number:
// 1. After a save reported done, the file reads whole as the values saved.
// 2. Every content present before a step is present after it, but what a copy in the step read
//    whole or saved itself, and what the outside action itself destroyed.
// 3. What the program did not make is unchanged, but the file its links lead to; what it made
//    never changes bytes; what it makes is a regular file of its own user.
// 4. No file the program makes is readable by anyone who could not read the file it replaces.
// 5. Every file a save wrote is synced before it takes another name, and the folder after.
// 6. A start read whole shows what the file is known to hold; without a file, the built-in values.
// 7. A save of storable values over a readable file of its own, or none, in a folder that takes
//    new files, with nothing in its way, succeeds.
#pragma once

#include <QRandomGenerator>
#include <QStringList>

#include <optional>
#include <vector>

namespace storagemodel {

// Where a sequence's choices come from: a seeded generator, or a fuzzer's bytes (zero once they
// run out, which draws the plainest choice).
class Choices {
public:
    explicit Choices(quint32 seed)
        : m_random(seed)
    {
    }
    Choices(const uchar *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    quint32 below(quint32 bound); // 0 to bound - 1

private:
    QRandomGenerator m_random;
    const uchar *m_data = nullptr;
    size_t m_size = 0, m_next = 0;
};

struct Step {
    enum Kind { Start, Save, World };
    Kind kind = Start;
    int copy = 0;   // which copy of the program: A or B
    int how = 0;    // a save: plainly, with the action at its call, that call failing, killed before it
    int call = 1;   // the save's system call that how concerns, from 1
    int action = 0; // the outside action, of a World step or at the save's call
    QStringList values, theirs; // what the copy saves; what an editor or the other copy writes
    QByteArray bytes;           // what a rewrite puts in the file
};

struct Sequence {
    int odd = 0; // 1: a file system without links or modes, like FAT; 2: nor rename flags
    std::vector<Step> steps;
};

Sequence drawSequence(Choices &choices, int length);

// Runs the sequence in a new folder. Where a law breaks: the law, and the shortest and plainest
// sequence found that still breaks it, one numbered line a step.
std::optional<QString> check(const Sequence &sequence);

} // namespace storagemodel
