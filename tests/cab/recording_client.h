// A decoder client for tests: records every notification and reserve event
// as a line of text, writes accepted files to in-memory outputs, and lets a
// test change its answers.
#pragma once

#include "cab/cab.h"
#include "tests/support/memory_files.h"
#include "tools/cabwriter/cab_writer.h"

#include <functional>
#include <string>
#include <vector>

namespace recording {

// Returns the answer to give, or nullopt-like -2 to use the default answer.
using Answer = std::function<int(int kind, CabNotification* n)>;
constexpr int kDefaultAnswer = -2;

void reset();
void setAnswer(Answer answer);
void recordReserveEvents(bool on);

const std::vector<std::string>& events();
std::vector<std::string> eventsOfKind(const std::string& prefix);
void clearEvents();

int notify(int kind, CabNotification* n);
int reserveHook(CabReserveEvent* e);

// Runs cabExtract on a decoder over memfiles; the hook is used when
// recordReserveEvents(true) was called.
int32_t extract(CabDecoder* d, const std::string& cabinet, const std::string& path = "");

// Adds the writer's cabinets to the in-memory files under their names.
void addCabinets(const std::vector<cabwriter::Cabinet>& cabinets, const std::string& path = "");

}  // namespace recording
