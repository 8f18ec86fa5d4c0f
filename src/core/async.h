#pragma once

// Transitional: include the header of what you use (core/promise.h, core/cancellationtoken.h,
// core/sharedtask.h, core/racebudget.h, core/serialqueue.h, core/serialexecutor.h,
// core/runinbackground.h, core/continuousclock.h). This umbrella goes once no branch uses it.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/promise.h"
#include "core/racebudget.h"
#include "core/runinbackground.h"
#include "core/serialexecutor.h"
#include "core/serialqueue.h"
#include "core/sharedtask.h"
