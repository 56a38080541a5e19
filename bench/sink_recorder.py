#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Records a PulseAudio source and tells when sound started and ended there.

The sink renders RATE samples per second of CLOCK_MONOTONIC (Python's
time.monotonic(), the clock the other bench scripts use), so the position of a
sample in the recording is its clock. The recording is anchored where it ran
fastest: over all blocks, the smallest gap between a block's arrival and the
position of its last sample. A stamp therefore says when the sink rendered the
sample, late by the smallest delay the recorder ever saw (one 5 ms block and
a scheduler hop, typically under 10 ms); every stamp of one recording is late
by the same amount, so differences between stamps are exact to a sample.
"""
import array
import ctypes
import threading
import time
import wave

RATE = 22050
BLOCK_SAMPLES = RATE // 200  # 5 ms

_pulse = ctypes.CDLL("libpulse-simple.so.0")


class _SampleSpec(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class _BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32) for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]


_pulse.pa_simple_new.restype = ctypes.c_void_p
_pulse.pa_simple_new.argtypes = [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p,
                                 ctypes.POINTER(_SampleSpec), ctypes.c_void_p, ctypes.POINTER(_BufferAttr),
                                 ctypes.POINTER(ctypes.c_int)]
_pulse.pa_simple_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_int)]
_pulse.pa_simple_get_latency.restype = ctypes.c_uint64
_pulse.pa_simple_get_latency.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
_pulse.pa_simple_free.argtypes = [ctypes.c_void_p]

_PA_STREAM_RECORD = 2
_PA_SAMPLE_S16LE = 3


class SinkRecorder:
    """Records `source` of the server at `server` (a PULSE_SERVER string) on a thread."""

    def __init__(self, server, source="speaker.monitor"):
        sample_format = _SampleSpec(_PA_SAMPLE_S16LE, RATE, 1)
        unset = 0xFFFFFFFF
        attr = _BufferAttr(unset, unset, unset, unset, BLOCK_SAMPLES * 2)
        error = ctypes.c_int(0)
        self._stream = _pulse.pa_simple_new(server.encode(), b"bench-recorder", _PA_STREAM_RECORD,
                                            source.encode(), b"sink timing", ctypes.byref(sample_format), None,
                                            ctypes.byref(attr), ctypes.byref(error))
        if not self._stream:
            raise RuntimeError("cannot record %s (pulse error %d)" % (source, error.value))
        self._lock = threading.Lock()
        self._blocks = []  # (arrival seconds, samples)
        self._running = True
        self._thread = threading.Thread(target=self._record, daemon=True)
        self._thread.start()
        self.settle()

    def _record(self):
        buffer = ctypes.create_string_buffer(BLOCK_SAMPLES * 2)
        error = ctypes.c_int(0)
        while self._running:
            if _pulse.pa_simple_read(self._stream, buffer, BLOCK_SAMPLES * 2, ctypes.byref(error)) < 0:
                break
            arrived = time.monotonic()
            samples = array.array("h", buffer.raw)
            with self._lock:
                self._blocks.append((arrived, samples))

    def settle(self, seconds=0.5):
        """Lets the stream reach its steady state (the first blocks come late and in a burst)."""
        time.sleep(seconds)

    def stop(self):
        self._running = False
        self._thread.join()
        _pulse.pa_simple_free(self._stream)

    def _timed_blocks(self):
        """The blocks so far, each with the time its first sample was rendered."""
        with self._lock:
            blocks = list(self._blocks)
        ends = []
        position = 0
        for _, samples in blocks:
            position += len(samples)
            ends.append(position)
        # The first blocks after connecting come late and in a burst: not an anchor.
        skip = len(blocks) // 10
        origin = min(arrival - end / RATE for (arrival, _), end in list(zip(blocks, ends))[skip:])
        return [(origin + (end - len(samples)) / RATE, samples) for (_, samples), end in zip(blocks, ends)]

    def save(self, path, after, before):
        """Writes what was rendered between `after` and `before` as a mono WAV file at RATE."""
        kept = array.array("h")
        for at, samples in self._timed_blocks():
            first = max(0, int((after - at) * RATE))
            last = min(len(samples), int((before - at) * RATE))
            if first < last:
                kept.extend(samples[first:last])
        with wave.open(path, "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(RATE)
            out.writeframes(kept.tobytes())

    def sound_span(self, after, before=float("inf"), threshold=0.02):
        """Times at which the first and the last sample louder than `threshold` (0..1) were rendered,
        looking only at samples rendered between `after` and `before`; (None, None) for silence."""
        limit = int(threshold * 32768)
        first = last = None
        for at, samples in self._timed_blocks():
            if at + len(samples) / RATE < after or at > before:
                continue
            for index, sample in enumerate(samples):
                when = at + index / RATE
                if abs(sample) > limit and after <= when <= before:
                    if first is None:
                        first = when
                    last = when
        return first, last
