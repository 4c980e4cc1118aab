// Choosing files by shell-style wildcard patterns (--filter).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cabtool {

// Matches `name` (UTF-8, '/' between directories) against a shell-style
// `pattern`: '*' matches any run of characters within one path component,
// '**' any run across components, '?' one character other than '/',
// '[abc]', '[a-z]' and '[!a-z]' (or '[^a-z]') one character of a set, and
// '\' takes the next character literally. Characters are UTF-8 code points;
// ASCII letters match in either case, as names in cabinets come from file
// systems that do not tell case apart.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// A set of patterns. Names in cabinets are stored with '\' between
// directories, so a pattern may use either separator: '\' is read as '/'
// except before '[' or ']', which it still makes literal (those are the only
// wildcard characters a stored name can hold).
// A pattern with a '/' is matched against the whole path;
// one without is matched against the last component, so that "*.dll" picks
// every DLL in every directory. An empty set selects every file.
class NameFilter {
public:
    void add(const std::string& pattern);
    bool empty() const { return patterns_.empty(); }
    bool selects(std::string_view path) const;
    // The patterns that choose none of `paths`, in the order given.
    std::vector<std::string> unmatched(const std::vector<std::string>& paths) const;

private:
    std::vector<std::string> patterns_;
};

}  // namespace cabtool
