// One call that puts the whole driver back to a freshly loaded module, so a
// test can start clean: the kernel port device a test left open is closed,
// then the driver context resets every module.
#pragma once

void ResetDriverForTesting();
