// SPDX-License-Identifier: GPL-3.0-or-later
// PortAudio is only the fallback for a machine where ALSA is all there is
// (with a sound server, libpulse plays and records). Its own table of host
// APIs also starts JACK and OSS, and the JACK client library alone brings in
// a database library and some two thousand symbols to bind at every start of
// the program. This table replaces that one: the link pulls it in by name
// (see src/CMakeLists.txt), so PortAudio's, and its JACK and OSS code, are
// never linked.
#include <portaudio.h>

struct PaUtilHostApiRepresentation;
using PaUtilHostApiInitializer = PaError(PaUtilHostApiRepresentation**, PaHostApiIndex);

extern "C" {

PaError PaAlsa_Initialize(PaUtilHostApiRepresentation** hostApi, PaHostApiIndex index);

// Read by PortAudio's Pa_Initialize: the host APIs to start, then a null.
PaUtilHostApiInitializer* paHostApiInitializers[] = {&PaAlsa_Initialize, nullptr};

}  // extern "C"
