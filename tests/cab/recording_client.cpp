#include "tests/cab/recording_client.h"

#include <cstdio>

namespace recording {
namespace {

struct State {
    Answer answer;
    bool reserveEvents = false;
    std::vector<std::string> events;
};

State& state() {
    static State s;
    return s;
}

const char* kindName(int kind) {
    static const char* const names[] = {"CabinetOpened", "FileFromPrevious", "OpenOutput",
                                        "CloseOutput",   "NeedCabinet",      "DirectoryCursor"};
    return kind >= 0 && kind < 6 ? names[kind] : "Unknown";
}

std::string describe(int kind, const CabNotification* n) {
    char line[600];
    switch (kind) {
        case CabinetOpened:
            snprintf(line, sizeof line, "CabinetOpened next=%s set=%u index=%u", n->text1,
                     n->setId, n->cabinetIndex);
            break;
        case FileFromPrevious:
        case OpenOutput:
            snprintf(line, sizeof line, "%s %s size=%d folder=%04X", kindName(kind), n->text1,
                     n->size, n->folderIndex);
            break;
        case CloseOutput:
            snprintf(line, sizeof line, "CloseOutput %s attributes=%02X run=%d", n->text1,
                     n->attributes, n->size);
            break;
        case NeedCabinet:
            snprintf(line, sizeof line, "NeedCabinet %s index=%u lastError=%d", n->text1,
                     n->cabinetIndex, n->lastError);
            break;
        case DirectoryCursor:
            snprintf(line, sizeof line, "DirectoryCursor left=%u", n->folderIndex);
            break;
        default:
            snprintf(line, sizeof line, "Unknown %d", kind);
    }
    return line;
}

int defaultAnswer(int kind, CabNotification* n) {
    if (kind == OpenOutput) return memfiles::createOutput(n->text1);
    if (kind == CloseOutput) return memfiles::close(n->fileHandle) == 0 ? 1 : 0;
    if (kind == NeedCabinet) return n->lastError == 0 ? 0 : -1;
    return 0;
}

}  // namespace

void reset() { state() = State{}; }
void setAnswer(Answer answer) { state().answer = std::move(answer); }
void recordReserveEvents(bool on) { state().reserveEvents = on; }
const std::vector<std::string>& events() { return state().events; }
void clearEvents() { state().events.clear(); }

std::vector<std::string> eventsOfKind(const std::string& prefix) {
    std::vector<std::string> result;
    for (const auto& e : state().events) {
        if (e.rfind(prefix, 0) == 0) result.push_back(e);
    }
    return result;
}

int notify(int kind, CabNotification* n) {
    state().events.push_back(describe(kind, n));
    int answer = kDefaultAnswer;
    if (state().answer) answer = state().answer(kind, n);
    return answer == kDefaultAnswer ? defaultAnswer(kind, n) : answer;
}

int reserveHook(CabReserveEvent* e) {
    char line[200];
    switch (e->kind) {
        case CabinetReserve:
            snprintf(line, sizeof line, "Cabinet reserve=%u index=%u", e->reserveSize,
                     e->cabinet.cabinetIndex);
            break;
        case FolderReserve:
            snprintf(line, sizeof line, "Folder %u reserve=%u", e->folder.folderIndex,
                     e->reserveSize);
            break;
        default:
            snprintf(line, sizeof line, "DataBlock size=%u split=%d first=%u reserve=%u",
                     e->dataBlock.dataSize, e->dataBlock.split, e->dataBlock.firstPartSize,
                     e->reserveSize);
    }
    state().events.push_back(line);
    return 0;
}

int32_t extract(CabDecoder* d, const std::string& cabinet, const std::string& path) {
    return cabExtract(d, cabinet.c_str(), path.c_str(), notify,
                      state().reserveEvents ? reserveHook : nullptr, nullptr);
}

void addCabinets(const std::vector<cabwriter::Cabinet>& cabinets, const std::string& path) {
    for (const auto& c : cabinets) memfiles::addFile(path + c.name, c.image);
}

}  // namespace recording
