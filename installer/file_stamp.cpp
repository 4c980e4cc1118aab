#include "installer/file_stamp.h"

#include "installer/win32_api.h"

void restoreFileStamp(const char* path, uint16_t dosDate, uint16_t dosTime, uint16_t attributes) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(dosDate, dosTime, &local) &&
            LocalFileTimeToFileTime(&local, &utc)) {
            SetFileTime(file, &utc, nullptr, &utc);
        }
        CloseHandle(file);
    }
    SetFileAttributesA(path, attributes & kKeptAttributes);
}
