#include "targets.h"

#include "filenames.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <tuple>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The same-file keys of one run's paths: the working folder asked once, each
// folder made canonical once, and one look at each file (is it a link?).
class SameFileKeys {
  public:
    std::string operator()(const std::string& path) {
        const std::string absolute = Absolute(path);
        struct stat info {};
        if (::lstat(absolute.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            if (const auto target = Canonical(absolute)) return *target;
        const std::size_t slash = absolute.rfind('/');
        const std::string name = absolute.substr(slash + 1);
        const std::string& folder = folderKey(absolute.substr(0, std::max<std::size_t>(slash, 1)));
        if (name.empty() || name == "." || name == "..") return Clean(folder + '/' + name);
        return (folder == "/" ? std::string() : folder) + '/' + name;
    }

    // The canonical form of a folder (or, when it is not there, its tidied path).
    const std::string& folderKey(const std::string& folder) {
        auto known = folders_.find(folder);
        if (known == folders_.end())
            known = folders_.emplace(folder, Canonical(folder).value_or(Clean(folder))).first;
        return known->second;
    }

    std::string Absolute(const std::string& path) {
        if (!path.empty() && path.front() == '/') return path;
        if (cwd_.empty()) cwd_ = filenames::Absolute("");
        return cwd_ + path;
    }

  private:
    // "a/./b/../c" as "a/c", without asking the disk.
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
    std::map<std::string, std::string> folders_;
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
    return SameFileKeys()(path);
}

std::vector<Clash> CheckTargets(const std::vector<Request>& requests) {
    SameFileKeys keys;
    std::map<std::string, Input> inputs;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request& request = requests[i];
        if (request.source.from == Source::From::File)
            inputs.emplace(keys(request.source.path), Input{i, true, request.source.name()});
        for (const Source& more : request.more)
            if (more.from == Source::From::File)
                inputs.emplace(keys(more.path), Input{i, false, more.name()});
    }
    auto split = [](const std::string& key) {
        const std::size_t slash = key.rfind('/');
        return std::pair(key.substr(0, std::max<std::size_t>(slash, 1)), key.substr(slash + 1));
    };
    std::map<std::string, Claim> files;   // by key
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
            // A file this output writes (by its key): a picture of the run,
            // or a file another output claimed, one by one or by pattern.
            auto checkFile = [&](const std::string& key, const std::string& shown) {
                if (const auto input = inputs.find(key); input != inputs.end())
                    return replacesPicture(input->second, shown);
                for (const auto* claims : {&files, &myFiles})
                    if (const auto other = claims->find(key); other != claims->end())
                        return replacesOutput(other->second, shown);
                const auto [folder, name] = split(key);
                for (const auto& [stem, suffix] : StemsOf(name))
                    for (const auto* claims : {&patterns, &myPatterns})
                        if (const auto other = claims->find({folder, stem, suffix});
                            other != claims->end())
                            return replacesOutput(other->second, shown);
            };
            const Claim claim{i, output.product};
            if (!planned.numbered) {
                const std::string key = keys(planned.path);
                checkFile(key, planned.path);
                if (!clash) myFiles.emplace(key, claim);
            } else {
                const Pattern pattern = PatternOf(planned.path, planned.masks);
                const std::string folderName = pattern.folder.empty() ? "." : pattern.folder;
                const std::string folder = keys.folderKey(keys.Absolute(folderName));
                const std::string prefix = (folder == "/" ? "" : folder) + '/' + pattern.stem + '-';
                // The pictures and files claimed whose names are of the pattern.
                for (const auto* names : {&inputs})
                    for (auto it = names->lower_bound(prefix);
                         !clash && it != names->end() && it->first.starts_with(prefix); ++it)
                        if (split(it->first).first == folder &&
                            Matches(split(it->first).second, pattern))
                            replacesPicture(it->second, it->second.name);
                for (const auto* claims : {&files, &myFiles})
                    for (auto it = claims->lower_bound(prefix);
                         !clash && it != claims->end() && it->first.starts_with(prefix); ++it)
                        if (split(it->first).first == folder &&
                            Matches(split(it->first).second, pattern))
                            replacesOutput(it->second, planned.path);
                for (const auto* claims : {&patterns, &myPatterns})
                    if (const auto other = claims->find({folder, pattern.stem, pattern.suffix});
                        !clash && other != claims->end())
                        replacesOutput(other->second, planned.path);
                // The files of the pattern that exist: through a link, one may
                // be a picture of the run or another output.
                if (DIR* dir = ::opendir(folderName.c_str())) {
                    while (const dirent* entry = ::readdir(dir))
                        if (!clash && Matches(entry->d_name, pattern))
                            checkFile(keys(pattern.folder + entry->d_name),
                                      pattern.folder + entry->d_name);
                    ::closedir(dir);
                }
                if (!clash)
                    myPatterns.emplace(PatternKey{folder, pattern.stem, pattern.suffix}, claim);
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
