#include "sandbox.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <strings.h>

#include "platform/testing.h"

extern char** environ;

namespace {

// Names in the environment equal to `name` when case is ignored.
std::vector<std::string> spellingsOf(const char* name) {
    std::vector<std::string> found;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string key(*entry, std::strchr(*entry, '=') - *entry);
        if (strcasecmp(key.c_str(), name) == 0) found.push_back(key);
    }
    return found;
}

}  // namespace

void Sandbox::setVariable(const char* name, const char* value) {
    for (const std::string& key : spellingsOf(name)) unsetenv(key.c_str());
    if (value != nullptr) setenv(name, value, 1);
}

Sandbox::Sandbox() {
    for (const char* name : {"windir", "temp", "tmp", "TZ", "TMPDIR"}) {
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

std::string Sandbox::blockWindowsDirectory(std::size_t nameLength) const {
    const std::string directory = root + "/" + std::string(nameLength, 'w');
    std::filesystem::create_directories(directory);
    writeFile(directory + "/windows", Bytes{'x'});
    setVariable("windir", (directory + "/windows").c_str());
    return directory + "/windows";
}

Sandbox::~Sandbox() {
    for (const char* name : {"windir", "temp", "tmp", "TZ", "TMPDIR"}) setVariable(name, nullptr);
    for (const auto& [key, value] : saved_) setenv(key.c_str(), value.c_str(), 1);
    tzset();
    std::error_code ignored;
    // Tests make directories read-only; give them back to their owner first.
    for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
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

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void resetWindowsRecordingShell(std::vector<ShellCall>& calls) {
    win32test::reset();
    win32test::setMessageBoxAnswer(IDOK);
    win32test::setShellRecorder([&calls](HWND owner, const std::string& verb,
                                         const std::string& file, const std::string& parameters,
                                         const std::string& directory, int show) {
        calls.push_back({owner, verb, file, parameters, directory, show});
    });
}
