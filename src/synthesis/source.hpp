// The synthesis routines are declared together in synthesis.hpp; this header
// exists so that a caller can name the stage it uses.
#pragma once

#include "synthesis/synthesis.hpp"
