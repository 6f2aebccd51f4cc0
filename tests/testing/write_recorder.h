#pragma once
#include "testing/pty_peer.h"  // WriteRecorder now lives there
