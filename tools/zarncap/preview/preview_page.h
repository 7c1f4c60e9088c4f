// The preview's one page: plain HTML, CSS and a little JavaScript, shipped in
// the binary so it works without network access.
#pragma once

#include <string>

namespace zarncap {

// The page with the run's token in it.
std::string PreviewPage(const std::string& token);

}  // namespace zarncap
