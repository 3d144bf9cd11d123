// The whole plot library: device, labels, axes and log-log frames.
#pragma once

#include "plot/axis.hpp"
#include "plot/device.hpp"
#include "plot/labels.hpp"
#include "plot/loglog.hpp"
