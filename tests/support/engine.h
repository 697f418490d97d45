// The engine as the native tests reach it: the JNI methods (called with a FakeJni environment),
// the plain functions behind them, and the signal generators.
#pragma once

#include "dsp_internal.h"
#include "signals.h"
#include "velmora_chordsmith_NativeInterface.h"
