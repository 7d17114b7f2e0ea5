// WordFilterServerMain: start-up, banner and the pipe loop of orqcwfs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cwfs {

// One request as the pipe delivered it (readError as ReadRequest returned
// it): the reply to write, or nothing when the stored response is not
// text, cannot be opened or has no end of its head. chunkBuffer is the
// server's body chunk buffer.
std::optional<std::string> JudgeRequest(const std::string& request, int readError, std::vector<char>& chunkBuffer);

// The banner lines, each with its line end.
std::vector<std::string> BannerLines();

// The whole program; the exit code.
int WordFilterServerMain(int argc, char** argv);

}  // namespace cwfs
