// The folder a save works in, for the settings file's code alone: every look, open, link,
// rename and unlink goes through one descriptor of it, so that a folder renamed or a link put on
// the way meanwhile changes nothing of what the save does; and the files a save makes there.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>
#include <sys/stat.h>
#include <utility>

namespace orbisk {

// A descriptor, closed when it goes.
struct Fd {
    int fd = -1;
    explicit Fd(int opened = -1)
        : fd(opened)
    {
    }
    Fd(Fd &&other) noexcept
        : fd(std::exchange(other.fd, -1))
    {
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd &operator=(Fd &&other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Fd();
};

// Unchanged since it was looked at: the same file, neither written nor cut since.
bool unchanged(const struct stat &a, const struct stat &b);

// Larger than a settings file can be: kept by a second name rather than copied, never compared
// byte by byte (a hostile file costs no time), and never removed as a leftover of a save.
constexpr off_t largestCopied = 8 << 20;

// The folder of the file a save replaces.
struct Folder {
    Fd fd;
    QString path;
    QByteArray name; // the settings file's own name in it

    // The entry's status, its links not followed.
    bool look(const QByteArray &entry, struct stat &status) const;
    // The entry opened for reading without blocking, if it is a regular file; -1 otherwise.
    [[nodiscard]] Fd openRegular(const QByteArray &entry) const;
    // A kept copy's name: "<name>.unread", then "<name>.unread-2", ...
    [[nodiscard]] QByteArray copyName(int number) const;
    // A save's new file, first: "<folder>/.<name>.saving-XXXXXX". No person names a file so, which
    // makes the ones a killed save left behind safe to remove. A copy being kept is first
    // "<folder>/.<name>.keeping-XXXXXX", which is never removed: it may be all that is left of
    // bytes that were changed in place since.
    [[nodiscard]] QByteArray temporaryPrefix(bool keeping = false) const
    {
        return '.' + name + (keeping ? ".keeping-" : ".saving-");
    }
};

// What is in the file's place now, and how its bytes are kept where they must be.
struct Content {
    struct stat status {};
    Fd fd;             // open for reading, where it may be read
    bool copied;       // kept in a copy of its own (the bytes below), else by a second name
    QByteArray bytes;  // where copied
    int number = 0;    // the copy's name: one that holds them already, or the first free one
    bool held = false; // whether that one holds them already

    // Where keep is false the bytes go nowhere: held, and not read.
    Content(const Folder &folder, Fd opened, const struct stat &looked, bool keep = true);
};

// Gives the file born of file its mode: its permission bits, readable by its owner, who would
// otherwise lose the values just saved; never its set-id bits, and its group's bits only where
// the new file is in its group. Another user's file gives nothing: the new one stays readable by
// its owner alone. A file system without permission bits has none to set.
int setMode(int fd, const struct stat &file);

// A new file beside the settings file (a copy being kept, or the new file), born with the mode
// given (then modeOf's, see setMode), holding the bytes, synced, and left open in made: its name in
// name. The errno on failure, when nothing is left.
int writeTemporary(const Folder &folder, QByteArray &name, Fd &made, bool keeping, mode_t mode,
                   const struct stat *modeOf, const QByteArray &bytes);

// Gives the entry the first free copy's name from number on: a second name where the file system
// has them; else, where it is moved there, a rename that replaces nothing, or (an old FUSE file
// system) a rename over a name claimed first with a new empty file. 0 or the errno.
int placeCopy(const Folder &folder, const QByteArray &from, int number, bool move);

// The program's own temporaries a killed save left, untouched for a minute, go: regular files of
// its user, never renamed since they were written (a rename changes a file's status time, not
// its data's). What a swap brought out stays: its bytes may be kept nowhere else.
void removeStaleSaves(const Folder &folder);

// Opens file for reading over a descriptor of its own for fd's file, from its start.
bool openFrom(QFile &file, int fd);

// All the bytes of a regular file, from its start.
QByteArray bytesOf(int fd);

} // namespace orbisk
