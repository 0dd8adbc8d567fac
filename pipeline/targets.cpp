#include "targets.h"

#include "filenames.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

namespace pipeline {

std::vector<PlannedOutput> PlanOutputs(const Request& request) {
    std::vector<PlannedOutput> plan;
    for (std::size_t i = 0; i < request.outputs.size(); ++i) {
        const Output& output = request.outputs[i];
        const bool numbered = output.target.to == Target::To::File && output.target.numbered;
        plan.push_back({i, output.target.path, numbered, false});
        const bool grob = output.product == Product::Grob || output.product == Product::GrobText;
        if (numbered && grob && request.cutting.masks)
            plan.push_back({i, output.target.path, true, true});
    }
    return plan;
}

namespace {

// A numbered path's parts: walk.gro is the stem "walk" and the suffix
// ".gro"; its masks the suffix ".mask.gro".
struct Pattern {
    std::string folder; // with its slash, as the path has it ("" for the working folder)
    std::string stem;
    std::string suffix;
};

Pattern PatternOf(const std::string& path, bool mask) {
    const std::size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    Pattern p{path.substr(0, nameStart), path.substr(nameStart, dot - nameStart), {}};
    p.suffix = mask ? ".mask.gro" : path.substr(dot);
    return p;
}

// Whether a file name is one of the pattern's: stem, "-", two digits or
// more, suffix.
bool Matches(std::string_view name, const Pattern& p) {
    if (name.size() < p.stem.size() + 3 + p.suffix.size()) return false;
    if (name.substr(0, p.stem.size()) != p.stem || name[p.stem.size()] != '-') return false;
    if (name.substr(name.size() - p.suffix.size()) != p.suffix) return false;
    const std::string_view digits =
        name.substr(p.stem.size() + 1, name.size() - p.stem.size() - 1 - p.suffix.size());
    return digits.size() >= 2 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> Canonical(const std::string& name) {
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string result = real;
    std::free(real);
    return result;
}

// A file as the system knows it, whatever the path to it: its device and
// inode ("@2049:1234", no slash in it).
std::string Identity(const struct stat& info) {
    return '@' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
}

#if defined(__linux__)
#ifdef FS_CASEFOLD_FL
constexpr int kCasefold = FS_CASEFOLD_FL;
#else
constexpr int kCasefold = 0x40000000; // older kernel headers
#endif
#endif

// Whether a folder takes names that differ only in case for the same file:
// on FAT, exFAT, NTFS, HFS+ and SMB shares, and in a folder with the
// casefold flag (ext4, F2FS, tmpfs).
bool Caseless(const std::string& folder) {
#if defined(__linux__)
    struct statfs disk {};
    switch (::statfs(folder.c_str(), &disk) == 0 ? static_cast<unsigned long>(disk.f_type) : 0) {
    case 0x4d44:     // msdos, vfat
    case 0x2011bab0: // exfat
    case 0x5346544e: // ntfs
    case 0x7366746e: // ntfs3
    case 0x482b:     // hfsplus
    case 0x4244:     // hfs
    case 0xff534d42: // cifs
    case 0xfe534d42: // smb2
        return true;
    default:
        break;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    const bool folded = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCasefold) != 0;
    ::close(fd);
    return folded;
#else
    (void)folder;
    return false;
#endif
}

// The folders the tests take to be caseless, by their identity.
std::set<std::string>& CaselessForTests() {
    static std::set<std::string> folders;
    return folders;
}

std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return name;
}

// A file's keys: two paths are the same file when either key is the same.
struct Keys {
    std::string identity; // its device and inode, where it exists
    // Its folder's key and its name, in the folder's case rules ("a.png"
    // for A.PNG on FAT): the file that a write there would make.
    std::string name;
};

// The same-file keys of one run's paths: the working folder asked once, each
// folder looked at once (its identity and its case rules), and one look at
// each file (is it there, is it a link?).
class SameFileKeys {
  public:
    // A folder's key: its identity, or when it is not there its tidied path.
    struct Folder {
        std::string key;
        bool caseless = false; // names differing only in ASCII case are one file
    };

    Keys operator()(const std::string& path) {
        std::string absolute = Absolute(path);
        Keys keys;
        struct stat info {};
        if (::lstat(absolute.c_str(), &info) == 0) {
            const bool link = S_ISLNK(info.st_mode);
            if (!link || ::stat(absolute.c_str(), &info) == 0) keys.identity = Identity(info);
            // Through a link: the name of the file it points to.
            if (link)
                if (const auto target = Canonical(absolute)) absolute = *target;
        }
        std::size_t slash = absolute.rfind('/');
        std::string name = absolute.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") {
            absolute = Clean(absolute);
            slash = absolute.rfind('/');
            name = absolute.substr(slash + 1);
        }
        const Folder& in = folder(absolute.substr(0, std::max<std::size_t>(slash, 1)));
        keys.name = in.key + '/' + (in.caseless ? Folded(name) : name);
        return keys;
    }

    const Folder& folder(const std::string& path) {
        auto known = folders_.find(path);
        if (known != folders_.end()) return known->second;
        Folder folder;
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            folder.key = Identity(info);
            folder.caseless = Caseless(path) || CaselessForTests().contains(folder.key);
        } else {
            folder.key = Clean(path);
        }
        return folders_.emplace(path, std::move(folder)).first->second;
    }

    std::string Absolute(const std::string& path) {
        if (!path.empty() && path.front() == '/') return path;
        if (cwd_.empty()) cwd_ = filenames::Absolute("");
        return cwd_ + path;
    }

  private:
    // "a/./b/../c" as "/a/c", without asking the disk.
    static std::string Clean(const std::string& path) {
        std::vector<std::string> parts;
        std::size_t at = 0;
        while (at <= path.size()) {
            const std::size_t end = std::min(path.find('/', at), path.size());
            const std::string part = path.substr(at, end - at);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            at = end + 1;
        }
        std::string out;
        for (const std::string& part : parts)
            out += '/' + part;
        return out.empty() ? "/" : out;
    }

    std::string cwd_;
    std::map<std::string, Folder> folders_;
};

std::string WhatIsMade(Product product) {
    switch (product) {
    case Product::Grob:
    case Product::GrobText:
        return "GROB";
    case Product::PicturePng:
        return "PNG";
    case Product::PreviewPng:
    case Product::Preview:
        return "preview";
    case Product::List:
    case Product::ListText:
        return "list";
    case Product::Player:
        return "player";
    case Product::Viewer:
        return "program";
    case Product::Source:
        return "source";
    }
    return {};
}

// A picture of the run.
struct Input {
    std::size_t request;
    bool main; // the request's own picture (not one of a list's further pictures)
    std::string name;
};

// What a request claims: one file's key, or a pattern of numbered files in
// a folder.
struct Claim {
    std::size_t request;
    Product product;
};
using PatternKey = std::tuple<std::string, std::string, std::string>; // folder, stem, suffix

// The patterns a file name could belong to: each "-" followed by two digits
// or more, the rest the suffix.
std::vector<std::pair<std::string, std::string>> StemsOf(std::string_view name) {
    std::vector<std::pair<std::string, std::string>> stems;
    for (std::size_t dash = name.find('-'); dash != std::string_view::npos;
         dash = name.find('-', dash + 1)) {
        std::size_t end = dash + 1;
        while (end < name.size() && name[end] >= '0' && name[end] <= '9')
            ++end;
        if (end - dash - 1 >= 2)
            stems.emplace_back(std::string(name.substr(0, dash)), std::string(name.substr(end)));
    }
    return stems;
}

} // namespace

std::string NumberedPath(const std::string& path, int number, int digits, bool mask) {
    const Pattern p = PatternOf(path, mask);
    std::string count = std::to_string(number);
    if (int(count.size()) < digits) count.insert(0, std::size_t(digits) - count.size(), '0');
    return p.folder + p.stem + '-' + count + p.suffix;
}

int NumberDigits(int count) {
    return std::max(2, int(std::to_string(count).size()));
}

std::string SameFileKey(const std::string& path) {
    const Keys keys = SameFileKeys()(path);
    return keys.identity.empty() ? keys.name : keys.identity;
}

void TreatAsCaseless(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) CaselessForTests().insert(Identity(info));
}

std::vector<Clash> CheckTargets(const std::vector<Request>& requests) {
    SameFileKeys keys;
    // Each file under each of its keys, and found by either.
    auto add = [](auto& files, const Keys& file, const auto& value) {
        if (!file.identity.empty()) files.emplace(file.identity, value);
        files.emplace(file.name, value);
    };
    auto find = [](auto& files, const Keys& file) {
        const auto found = file.identity.empty() ? files.end() : files.find(file.identity);
        return found != files.end() ? found : files.find(file.name);
    };
    std::map<std::string, Input> inputs;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request& request = requests[i];
        if (request.source.from == Source::From::File)
            add(inputs, keys(request.source.path), Input{i, true, request.source.name()});
        for (const Source& more : request.more)
            if (more.from == Source::From::File)
                add(inputs, keys(more.path), Input{i, false, more.name()});
    }
    // A name key's folder and name.
    auto split = [](const std::string& key) {
        const std::size_t slash = key.rfind('/');
        return std::pair(key.substr(0, slash), key.substr(slash + 1));
    };
    std::map<std::string, Claim> files;   // by each key
    std::map<PatternKey, Claim> patterns; // by folder key, stem and suffix
    std::vector<Clash> clashes;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request& request = requests[i];
        const std::string source = request.source.name();
        std::map<std::string, Claim> myFiles;
        std::map<PatternKey, Claim> myPatterns;
        std::optional<Clash> clash;
        for (const PlannedOutput& planned : PlanOutputs(request)) {
            const Output& output = request.outputs[planned.output];
            if (output.target.to != Target::To::File) continue;
            const std::string what = WhatIsMade(planned.masks ? Product::Grob : output.product);
            auto replacesPicture = [&](const Input& input, const std::string& shown) {
                if (input.request == i && input.main && !planned.numbered &&
                    &output == &request.outputs.front())
                    clash = Clash{i, shown, "it is the picture itself; it is not replaced"};
                else if (input.request == i && input.main)
                    clash = Clash{i, shown,
                                  "the " + what + " of " + source +
                                      " would replace the picture itself"};
                else
                    clash = Clash{i, shown,
                                  "the " + what + " of " + source + " would replace the picture " +
                                      input.name};
            };
            auto replacesOutput = [&](const Claim& other, const std::string& shown) {
                clash = Clash{i, shown,
                              "the " + what + " of " + source + " would replace the " +
                                  WhatIsMade(other.product) + " of " +
                                  requests[other.request].source.name()};
            };
            // A file this output writes: a picture of the run, or a file
            // another output claimed, one by one or by pattern.
            auto checkFile = [&](const Keys& file, const std::string& shown) {
                if (const auto input = find(inputs, file); input != inputs.end())
                    return replacesPicture(input->second, shown);
                for (auto* claims : {&files, &myFiles})
                    if (const auto other = find(*claims, file); other != claims->end())
                        return replacesOutput(other->second, shown);
                const auto [folder, name] = split(file.name);
                for (const auto& [stem, suffix] : StemsOf(name))
                    for (const auto* claims : {&patterns, &myPatterns})
                        if (const auto other = claims->find({folder, stem, suffix});
                            other != claims->end())
                            return replacesOutput(other->second, shown);
            };
            const Claim claim{i, output.product};
            if (!planned.numbered) {
                const Keys file = keys(planned.path);
                checkFile(file, planned.path);
                if (!clash) add(myFiles, file, claim);
            } else {
                const Pattern pattern = PatternOf(planned.path, planned.masks);
                const std::string folderName = pattern.folder.empty() ? "." : pattern.folder;
                const SameFileKeys::Folder& in = keys.folder(keys.Absolute(folderName));
                const std::string& folder = in.key;
                // The pattern in its folder's case rules, as name keys have their names.
                Pattern names = pattern;
                if (in.caseless) {
                    names.stem = Folded(names.stem);
                    names.suffix = Folded(names.suffix);
                }
                const std::string prefix = folder + '/' + names.stem + '-';
                auto ofPattern = [&](const std::string& key) {
                    const auto [within, name] = split(key);
                    return within == folder && Matches(name, names);
                };
                // The pictures and files claimed whose names are of the pattern.
                for (auto it = inputs.lower_bound(prefix);
                     !clash && it != inputs.end() && it->first.starts_with(prefix); ++it)
                    if (ofPattern(it->first)) replacesPicture(it->second, it->second.name);
                for (const auto* claims : {&files, &myFiles})
                    for (auto it = claims->lower_bound(prefix);
                         !clash && it != claims->end() && it->first.starts_with(prefix); ++it)
                        if (ofPattern(it->first)) replacesOutput(it->second, planned.path);
                for (const auto* claims : {&patterns, &myPatterns})
                    if (const auto other = claims->find({folder, names.stem, names.suffix});
                        !clash && other != claims->end())
                        replacesOutput(other->second, planned.path);
                // The files of the pattern that exist: through a link, or as
                // another name of the same file, one may be a picture of the
                // run or another output.
                if (DIR* dir = ::opendir(folderName.c_str())) {
                    while (const dirent* entry = ::readdir(dir))
                        if (!clash &&
                            Matches(in.caseless ? Folded(entry->d_name) : entry->d_name, names))
                            checkFile(keys(pattern.folder + entry->d_name),
                                      pattern.folder + entry->d_name);
                    ::closedir(dir);
                }
                if (!clash) myPatterns.emplace(PatternKey{folder, names.stem, names.suffix}, claim);
            }
            if (clash) break;
        }
        if (clash) {
            clashes.push_back(std::move(*clash));
            continue;
        }
        files.merge(myFiles);
        patterns.merge(myPatterns);
    }
    return clashes;
}

} // namespace pipeline
