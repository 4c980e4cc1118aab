// Writes a small sample cabinet for demonstrations: a stored folder with two
// short text files (one in a subdirectory) and an MSZIP folder with a text
// file large enough to need several data blocks.
//
//   make_sample_cabinet DIRECTORY   writes DIRECTORY/sample.cab
//   make_sample_cabinet --help      says so
#include "tools/cabwriter/cab_writer.h"
#include "tools/cabwriter/directory_argument.h"

#include <cstdio>
#include <string>

namespace {

cabwriter::Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Numbered lines of a poem-like text: compressible and the same every run.
cabwriter::Bytes longText() {
    static const char* const words[] = {"moss", "river", "lantern", "quiet", "stone",
                                        "window", "ember", "harbour", "night", "fern"};
    std::string text;
    unsigned state = 1;
    for (int line = 1; line <= 3000; ++line) {
        text += "line " + std::to_string(line) + ":";
        for (int w = 0; w < 6; ++w) {
            state = state * 1103515245u + 12345u;
            text += ' ';
            text += words[(state >> 16) % 10];
        }
        text += "\r\n";
    }
    return bytesOf(text);
}

void printUsage(std::FILE* stream, const char* program) {
    std::fprintf(stream,
                 "usage: %s DIRECTORY\n"
                 "Writes DIRECTORY/sample.cab, a small cabinet to try cabtool on: a stored\n"
                 "folder with hello.txt and docs\\readme.txt, and an MSZIP folder with\n"
                 "poem.txt (several data blocks) and the empty empty.txt.\n",
                 program);
}

cabwriter::File file(const char* name, cabwriter::Bytes data, uint16_t attribs) {
    cabwriter::File f;
    f.name = name;
    f.data = std::move(data);
    f.date = cabwriter::dosDate(2024, 5, 17);
    f.time = cabwriter::dosTime(14, 30, 0);
    f.attribs = attribs;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    const char* directory = cabwriter::directoryArgument(argc, argv, printUsage, status);
    if (directory == nullptr) return status;
    cabwriter::Folder stored;
    stored.method = cabwriter::Method::Stored;
    stored.files.push_back(file("hello.txt", bytesOf("Hello from the sample cabinet.\r\n"), 0x20));
    stored.files.push_back(file("docs\\readme.txt",
                                bytesOf("This file sits in the docs directory.\r\n"
                                        "Its name in the cabinet uses a backslash.\r\n"),
                                0x20));

    cabwriter::Folder compressed;
    compressed.method = cabwriter::Method::Mszip;
    compressed.files.push_back(file("poem.txt", longText(), 0x20));
    compressed.files.push_back(file("empty.txt", {}, 0x20));

    const cabwriter::Cabinet cabinet = cabwriter::writeCabinet({stored, compressed}, {}, "sample.cab");
    if (!cabwriter::saveCabinet(cabinet, directory)) {
        std::fprintf(stderr, "cannot write %s in %s\n", cabinet.name.c_str(), directory);
        return 1;
    }
    std::printf("wrote %s/%s (%zu bytes)\n", directory, cabinet.name.c_str(), cabinet.image.size());
    return 0;
}
