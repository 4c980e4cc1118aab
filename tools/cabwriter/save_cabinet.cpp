// Writes a cabinet image to a file.
#include "tools/cabwriter/cab_writer.h"

#include <fstream>

namespace cabwriter {

bool saveCabinet(const Cabinet& cabinet, const std::string& directory) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += cabinet.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(cabinet.image.data()),
              std::streamsize(cabinet.image.size()));
    out.close();
    return bool(out);
}

}  // namespace cabwriter
