// The output plan: every file a request writes, known before any work, and
// the one check that no output of a run replaces a picture of the run or
// another output. Convert writes exactly the files its plan names.
#pragma once

#include "conversion.h"

#include <string>
#include <vector>

namespace pipeline {

// One output of a request as the plan names it: a file (or standard
// output, or memory) for one picture, or numbered files for many.
struct PlannedOutput {
    std::size_t output = 0; // its output in the request
    // The file; for numbered files, the path the numbers go into (walk.gro
    // for walk-01.gro, walk-02.gro, ...).
    std::string path;
    bool numbered = false;
    bool masks = false; // the masks' numbered files (walk-01.mask.gro, ...)
};

// Every output of the request, in order: each output once, and for
// numbered GROB outputs with masks the masks' files after them.
std::vector<PlannedOutput> PlanOutputs(const Request& request);

// A numbered file's path: walk.gro gives walk-07.gro, or walk-07.mask.gro
// for a mask; a name without an extension takes none (walk-07).
std::string NumberedPath(const std::string& path, int number, int digits, bool mask);
// The digits of the numbers for `count` pictures: as many as the count has, two at least.
int NumberDigits(int count);

// Every output file of a run compared, before any work, with every picture
// of every request and every other output. Two paths are the same file when
// it exists under both (the same device and inode: through symbolic links,
// "." or "..", hard links and bind mounts), or when they name the same entry
// of the same folder (its names compared as the folder compares them: in
// any ASCII case on FAT, exFAT, NTFS or a casefolded ext4 folder); numbered
// files by the pattern of their names, and the files of that pattern that
// exist, alike. One refusal for each request that would replace a picture
// of the run or another output; the outputs of a refused request claim
// nothing.
struct Clash {
    std::size_t request; // index into the run's requests
    std::string file;    // the output refused
    std::string cause;
};
std::vector<Clash> CheckTargets(const std::vector<Request>& requests);

// The key by which two paths are the same file: its device and inode where
// it exists, else its folder's identity and its name (in the folder's case
// rules).
std::string SameFileKey(const std::string& path);

// For the tests, where no case-insensitive file system can be mounted: the
// folder (as it is now, by its identity) compares names in any ASCII case,
// as a FAT one does.
void TreatAsCaseless(const std::string& folder);

} // namespace pipeline
