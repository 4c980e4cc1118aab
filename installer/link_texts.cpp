#include "installer/link_texts.h"

#include "installer/complemented_text.h"

namespace {

auto previousProcedureName = storeInPlace("QMoraPrevProc");
auto colourName = storeInPlace("QMoraLinkClr");
// Also the link's visible text in the dialog template.
auto target = storeInPlace("http://www.qmora-saver.example");
constexpr auto verb = storeForCopy("open");

}  // namespace

const char* previousProcedureProperty() { return decodeInPlace(previousProcedureName.data()); }
const char* linkColourProperty() { return decodeInPlace(colourName.data()); }
const char* linkTarget() { return decodeInPlace(target.data()); }
const char* linkVerb() { return decodeCopy(verb.data()); }
