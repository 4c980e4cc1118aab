// A codec for dispatch tests: it copies each block as it is and logs every
// call, so a test can check the order in which the decoder drives a codec.
// Linked in place of the real codec registry: method 3 gets this codec,
// method 2 has none, and every other method behaves as in the product.
#pragma once

#include <string>
#include <vector>

namespace fakecodec {

struct Behaviour {
    int createResult = 0;  // returned by the real creation (not the size query)
    int resetResult = 0;
    int decompressResult = 0;
};

void reset(Behaviour behaviour = {});
// "query 32768", "create 32768", "reset", "block 100", "destroy", with the
// creation lines carrying the window size they were given.
const std::vector<std::string>& calls();

}  // namespace fakecodec
