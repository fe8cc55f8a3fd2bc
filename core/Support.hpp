// The small namespaces every other component leans on, gathered in one
// include: the engine's error type, the cancel flag, the forms of a path and
// the home folder, running outside programs, texts for sizes and times, the
// JSON encoder and whole-file reads and writes. Each lives in the layer it
// belongs to (base/ stands on nothing of the engine, platform/ on base/ only),
// so code in those layers includes the header it needs instead of this one.
#pragma once

#include "GivenPaths.hpp"
#include "base/CancelToken.hpp"
#include "base/Error.hpp"
#include "base/Files.hpp"
#include "base/Fmt.hpp"
#include "base/ISODate.hpp"
#include "base/JSONOut.hpp"
#include "base/Paths.hpp"
#include "base/Shell.hpp"
#include "base/Text.hpp"
#include "base/Version.hpp"
#include "platform/HomeFolder.hpp"
#include "platform/ProgramSearch.hpp"
#include "text/RelativeTime.hpp"
