// One call that puts the whole driver back to a freshly loaded module, so a
// test can start clean. Each module with process-wide state resets here.
#pragma once

void ResetDriverForTesting();
