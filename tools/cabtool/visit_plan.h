// The order a cabinet's files are decoded in: the cabinet library's, used by cabtool under its own names.
#pragma once

#include "archive/walk/visit_plan.h"

namespace cabtool {

using cabarchive::Refusal;
using cabarchive::VisitPlan;
using cabarchive::planVisits;

}  // namespace cabtool
