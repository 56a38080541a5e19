// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/pulse_connection.h"

#include <pulse/error.h>
#include <pulse/proplist.h>

#include <mutex>

#include "platform/library/discarded_standard_error.h"

namespace speech_bridge {
namespace {

void contextStateChanged(pa_context*, void* userData) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userData), 0);
}

bool settled(pa_context_state_t state) {
  return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
}

}  // namespace

PulseConnection* PulseConnection::shared() {
  static std::once_flag once;
  static PulseConnection* connection = nullptr;
  std::call_once(once, [] { connection = connect(); });
  return connection;
}

const char* PulseConnection::lastError() const { return pa_strerror(pa_context_errno(context_)); }

PulseConnection* PulseConnection::connect() {
  // libpulse logs its own troubles to the C library's standard error stream.
  discardStandardErrorStream();
  pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
  if (!loop) return nullptr;
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "speech-bridge");
  pa_context* context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop), "speech-bridge", properties);
  pa_proplist_free(properties);
  if (!context) {
    pa_threaded_mainloop_free(loop);
    return nullptr;
  }
  // Kept for good: a server that goes away must also wake whoever waits for
  // one of its answers.
  pa_context_set_state_callback(context, &contextStateChanged, loop);
  bool ready = false;
  // A user's client.conf may ask for a server to be started; a job never does.
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
      pa_threaded_mainloop_start(loop) >= 0) {
    pa_threaded_mainloop_lock(loop);
    while (!settled(pa_context_get_state(context))) pa_threaded_mainloop_wait(loop);
    ready = pa_context_get_state(context) == PA_CONTEXT_READY;
    pa_threaded_mainloop_unlock(loop);
  }
  if (!ready) {
    pa_threaded_mainloop_stop(loop);
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_threaded_mainloop_free(loop);
    return nullptr;
  }
  // Kept until exit: streams of any thread may use it until the last moment.
  return new PulseConnection(loop, context);
}

}  // namespace speech_bridge
