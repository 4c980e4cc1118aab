#include "sandbox.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace {

const char* const kManagedVariables[] = {"windir", "temp", "tmp", "tz"};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Names in the environment equal to `name` when case is ignored.
std::vector<std::string> spellingsOf(const char* name) {
    std::vector<std::string> found;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string key = text.substr(0, text.find('='));
        if (lower(key) == lower(name)) found.push_back(key);
    }
    return found;
}

}  // namespace

void Sandbox::setVariable(const char* name, const char* value) {
    for (const std::string& key : spellingsOf(name)) unsetenv(key.c_str());
    if (value != nullptr) setenv(name, value, 1);
}

Sandbox::Sandbox() {
    for (const char* name : kManagedVariables) {
        for (const std::string& key : spellingsOf(name)) saved_.emplace_back(key, getenv(key.c_str()));
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "qmora-installer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root = pattern;
    windows = root + "/windows";
    system32 = windows + "/system32";
    temp = root + "/temp";
    std::filesystem::create_directories(system32);
    std::filesystem::create_directories(temp);
    setVariable("windir", windows.c_str());
    setVariable("temp", temp.c_str());
    setVariable("tmp", nullptr);
}

Sandbox::~Sandbox() {
    for (const char* name : kManagedVariables) setVariable(name, nullptr);
    for (const auto& [key, value] : saved_) setenv(key.c_str(), value.c_str(), 1);
    tzset();
    std::error_code ignored;
    std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root, ignored);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
