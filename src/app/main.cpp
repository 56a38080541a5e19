// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/process.h"
#include "app/real_platform.h"

int main(int argc, char** argv) {
  // A host that closes its end of the pipe still gets the recorded status.
  std::signal(SIGPIPE, SIG_IGN);

  // Kept alive until the very end: audio, decoder and reader threads may still
  // be using the services when the process exits.
  static speech_bridge::RealPlatform real;
  static speech_bridge::Process process(real.platform());
  const int status = speech_bridge::runProcess(process, std::vector<std::string>(argv + 1, argv + argc));

  // Threads of the libraries may still run (a reader blocked on standard input,
  // a decoder being cancelled); ending here skips destructors that could race
  // with them. Every event has already been written unbuffered.
  std::_Exit(status);
}
