// System calls that fail on request, for the storage property: the test executable defines
// write, fsync, rename, link and fchmod itself, so that the storage code linked into it calls
// these, which pass through to the C library unless a failure is armed.
#pragma once

#include <string>
#include <vector>

namespace faults {

struct Plan {
    std::string call; // the call to fail ("write", "fsync", ...); empty: none
    int skip = 0;     // how many calls of it succeed first
    int error = 0;    // the errno it fails with
    bool fired = false;
    bool noHardLinks = false; // every link fails, as on FAT or with another owner's file
    // What the save did, in order: "fsync file", "fsync folder", "rename", each with "!" when it
    // failed.
    std::vector<std::string> log;
};

Plan &plan();

} // namespace faults
