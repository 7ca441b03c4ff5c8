// Graphs and their hidden data tables.
#pragma once

namespace vsf {}
