// Every failure the program reports: the file it is about and why, in plain
// words. Writing a GROB (GrobError) and reading one (GrobReadError) fail with
// the same shape, so whoever reports a failure catches this one type.
#pragma once

#include <stdexcept>
#include <string>

namespace grob {

class Error : public std::runtime_error {
  public:
    // `what` is the whole message for a log; `path` and `cause` are its parts.
    Error(std::string what, std::string path, std::string cause)
        : std::runtime_error(std::move(what)), path_(std::move(path)), cause_(std::move(cause)) {}
    const std::string& path() const { return path_; }
    const std::string& cause() const { return cause_; }

  private:
    std::string path_;
    std::string cause_;
};

} // namespace grob
