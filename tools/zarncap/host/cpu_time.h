// The processor time this process has used so far (user and system), in ms:
// the cost of a frame is the difference over a run divided by its frames.
#pragma once

namespace zarncap {

double ProcessCpuMs();

}  // namespace zarncap
