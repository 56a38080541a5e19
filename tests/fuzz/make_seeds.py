#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpora of the job and audio targets into corpus/<target>/.

The job targets read their input as a settings byte and timed pieces (see
support/scripted_input.h) or as arguments split at zero bytes; the audio
target gets small sound files written here with libsndfile; the grammar
target, grammar files.
Run from anywhere: python3 tests/fuzz/make_seeds.py
"""
import ctypes
import ctypes.util
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def piece(data, steps=0):
    """One piece of scripted input, `steps` grid steps after the previous one."""
    wait = b""
    while steps > 3:  # empty pieces carry longer waits
        wait += bytes([3 << 6])
        steps -= 3
    if len(data) < 63:
        return wait + bytes([steps << 6 | len(data)]) + data
    return wait + bytes([steps << 6 | 63]) + struct.pack(">H", len(data)) + data


def scripted(settings, *pieces):
    return bytes([settings]) + b"".join(pieces)


def control_channel():
    closes, late_permission = 0x01, 0x06
    seeds = {
        "stop": scripted(0, piece(b"stop\n", 2)),
        "stop-split": scripted(0, piece(b"st", 2), piece(b"op"), piece(b"\n", 1)),
        "stop-crlf-then-cancel": scripted(0, piece(b"stop\r\n", 3), piece(b"cancel\n", 1)),
        "stop-blanks": scripted(0, piece(b"  stop\t\n", 4)),
        "stop-unicode-spaces": scripted(0, piece("\u00a0stop\u2003\u0085\n".encode(), 4)),
        "stop-capitals": scripted(0, piece(b"STOP\n", 2)),
        "stop-now": scripted(0, piece(b"stop now\n", 2)),
        "blank-lines-then-close": scripted(closes | 0x08, piece(b"\n\n   \n\t\r\n", 1)),
        "stop-cancel-one-chunk": scripted(0, piece(b"stop\ncancel\n", 3)),
        "cancel-stop-one-chunk": scripted(0, piece(b"cancel\nstop\n", 3)),
        "stop-unterminated-close": scripted(closes, piece(b"stop", 2)),
        "stop-during-permission": scripted(late_permission, piece(b"stop\n", 1)),
        "stop-then-close": scripted(closes | 0x08, piece(b"stop\n", 4)),
        "ill-formed": scripted(0, piece(b"\xffstop\n", 2)),
        "closed-at-once": scripted(closes),
        "limit-exactly": scripted(0, piece(b" " * 4095 + b"\n", 2), piece(b"stop\n", 1)),
        "limit-crossed": scripted(0, piece(b"stop\n" * 819 + b"stop\n\n\n", 2)),
        "oversized-over-reads": scripted(0, piece(b"a" * 3000, 1), piece(b"b" * 1097, 1)),
    }
    for name, data in seeds.items():
        write("control_channel", name, data)


def speech_input():
    closed, read_error = 0x01, 0x02
    voice_available, voice_unknown = 0x10, 0x20
    cancelled, never_ends = 0x40, 0x80
    seeds = {
        "hello": scripted(closed, piece(b"Hello there", 1)),
        "hello-left-open": scripted(0, piece(b"Hello there", 1)),
        "hello-split-late": scripted(closed | 0x0C, piece(b"Hel", 3), piece(b"lo", 3), piece(b" there", 3)),
        "hello-read-error": scripted(read_error, piece(b"Hello", 1)),
        "hello-voice": scripted(closed | voice_available, piece(b"Hello", 1)),
        "hello-unknown-voice": scripted(closed | voice_unknown, piece(b"Hello", 1)),
        "hello-cancelled": scripted(closed | cancelled, piece(b"Hello", 1)),
        "hello-never-ends": scripted(closed | never_ends, piece(b"Hello", 1)),
        "empty": scripted(closed),
        "blank": scripted(closed, piece(" \t\r\n\u3000".encode(), 1)),
        "not-utf8": scripted(closed, piece(b"\xff", 1)),
        "surrogate": scripted(closed, piece(b"\xed\xa0\x80", 1)),
        "largest": scripted(closed, piece(b"a" * 8192, 1)),
        "one-byte-too-many": scripted(0, piece(b"a" * 4096, 1), piece(b"a" * 4097, 1)),
        "too-long-and-not-utf8": scripted(closed, piece(b"\xff" * 8200, 1)),
        "characters-2000": scripted(closed, piece(b"a" * 1998 + b"\r\n", 1)),
        "characters-2001": scripted(closed, piece(b"a" * 2000 + b"\n", 1)),
        "combining": scripted(closed, piece("e\u0301\U0001F469\u200d\U0001F680 ".encode() * 300, 1)),
    }
    for name, data in seeds.items():
        write("speech_input", name, data)


def flite_text():
    """A settings byte (voice in the low three bits, stop after N blocks above them), then the text."""
    rms, slt, awb, kal16, kal, festival = range(6)
    seeds = {
        "order-festival": (festival, "Second ship, set course north east, and hold position until dawn."),
        "numbers-festival": (festival, "Turn 30 degrees at 12:45pm on 1/2/2026, $1,000,000.50, 3.14159, 1st 23rd."),
        "not-ascii-festival": (festival, "caf\u00e9 \u65e5\u672c \u263a \U0001F468\u200d\U0001F469 \u041f\u0440\u0438 e\u0301"),
        "unknown-words-festival": (festival, "xqzvrtplkmnbvcxz zorblaxtrifon qwxyzzyplugh " * 20),
        "stopped-festival": (festival | 2 << 3, "The fleet will hold position near the northern gate until dawn."),
        "order-rms": (rms, "Second ship, set course north east."),
        "order-kal": (kal, "All ships, hold position!"),
        "numbers-slt": (slt, "Turn 30 degrees at 12:45pm on 1/2/2026, $1,000,000.50, 3.14159, 1st 2nd 23rd 1e10."),
        "abbreviations-awb": (awb, "Mr. Dr. St. Jr. I.B.M. U.S.A. etc. e.g. www.example.com/a?b=c&d, a@b.org"),
        "punctuation-kal16": (kal16, "... !!! ??? -- ;; :: \"'' () [] {} <> ### %%% *** ~~~"),
        "not-ascii-rms": (rms, "caf\u00e9 na\u00efve \u00fcber Stra\u00dfe \u65e5\u672c \u263a \U0001F468\u200d\U0001F469 e\u0301"),
        "controls-slt": (slt, "Hold\u0000position\u0001\u0007\t\r\n\u000b\u000c\u0085\u2028 now\u00a0please"),
        "long-word-kal16": (kal16, "a" * 1990),
        "digits-rms": (rms, "1234567890" * 30),
        "stopped-rms": (rms | 2 << 3, "The fleet will hold position near the northern gate until dawn."),
        "stopped-kal": (kal | 1 << 3, "The fleet will hold position near the northern gate until dawn."),
        "sentences-kal16": (kal16, "Hold position. " * 130),
        "no-sentence-end-awb": (awb, "hold position near the gate " * 20),
        "uppercase-slt": (slt, "SECOND SHIP SET COURSE NORTH EAST ASAP NASA FBI"),
        "symbols-kal": (kal, "\u00a9 \u00ae \u2122 \u00a7 \u00b6 \u20ac \u00a3 \u00a5 \u00bd \u00b2 \u221e \u2260"),
    }
    for name, (settings, text) in seeds.items():
        write("flite_text", name, bytes([settings]) + text.encode())


def argument_list():
    def args(*words):
        return b"\0".join(w.encode() if isinstance(w, str) else w for w in words)

    seeds = {
        "listen": args("--listen"),
        "listen-locale": args("--listen", "--locale", "de-DE"),
        "listen-locale-last": args("--listen", "--locale"),
        "listen-no-recognizer": args("--listen", "--locale", "fr-FR"),
        "locale-first": args("--locale", "en-US", "--listen"),
        "speak-voice": args("--speak", "--voice", "gmw/de"),
        "speak-locale-voice": args("--speak", "--locale", "--voice", "gmw/en-US"),
        "speak-voice-last": args("--speak", "--voice"),
        "transcribe": args("--transcribe-file", "a.wav"),
        "transcribe-alone": args("--transcribe-file"),
        "transcribe-empty-path": args("--transcribe-file", ""),
        "transcribe-locale-as-path": args("--transcribe-file", "--locale", "en-US"),
        "voices-and-more": args("--voices", "--voice", "x", "--locale"),
        "capitals": args("--LISTEN"),
        "words": bytes([1, 0, 5, 0, 8, 0, 6, 0, 10]),
        "nothing": b"",
    }
    for name, data in seeds.items():
        write("argument_list", name, data)


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


def sound_file(sndfile, path, rate, channels, fmt, frames):
    info = SfInfo(0, rate, channels, fmt, 0, 0)
    handle = sndfile.sf_open(path.encode(), 0x20, ctypes.byref(info))  # SFM_WRITE
    if not handle:
        return False
    samples = (ctypes.c_float * (frames * channels))(
        *[0.5 * math.sin(2 * math.pi * 440 * (i // channels) / rate) for i in range(frames * channels)])
    sndfile.sf_writef_float(handle, samples, frames)
    sndfile.sf_close(handle)
    return True


def audio_file_reader():
    sndfile = ctypes.CDLL(ctypes.util.find_library("sndfile"))
    sndfile.sf_open.restype = ctypes.c_void_p
    sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
    sndfile.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_float), ctypes.c_int64]
    sndfile.sf_close.argtypes = [ctypes.c_void_p]
    WAV, AIFF, AU, FLAC, CAF, W64, OGG, MPEG = 0x010000, 0x020000, 0x030000, 0x170000, 0x180000, 0x0B0000, \
        0x200000, 0x230000
    PCM_16, PCM_U8, FLOAT, ULAW, IMA_ADPCM, GSM610, VORBIS, MP3 = 0x2, 0x5, 0x6, 0x10, 0x12, 0x20, 0x60, 0x82
    folder = os.path.join(HERE, "corpus", "audio_file_reader")
    os.makedirs(folder, exist_ok=True)
    files = [("wav-16bit-8k.wav", 8000, 1, WAV | PCM_16, 80), ("wav-float-stereo-44k.wav", 44100, 2, WAV | FLOAT, 40),
             ("wav-ima-adpcm.wav", 11025, 1, WAV | IMA_ADPCM, 505), ("wav-gsm.wav", 8000, 1, WAV | GSM610, 320),
             ("aiff-16bit.aiff", 22050, 1, AIFF | PCM_16, 60), ("au-ulaw.au", 8000, 1, AU | ULAW, 100),
             ("flac-16k.flac", 16000, 1, FLAC | PCM_16, 200), ("caf-48k.caf", 48000, 2, CAF | PCM_16, 30),
             ("w64.w64", 16000, 1, W64 | PCM_16, 20), ("ogg-vorbis.ogg", 8000, 1, OGG | VORBIS, 100),
             ("mp3.mp3", 16000, 1, MPEG | MP3, 1152)]
    for name, rate, channels, fmt, frames in files:
        if not sound_file(sndfile, os.path.join(folder, name), rate, channels, fmt, frames):
            print("libsndfile cannot write", name)
    with open(os.path.join(folder, "wav-16bit-8k.wav"), "rb") as f:
        wav = f.read()
    write("audio_file_reader", "wav-cut-short.wav", wav[:50])
    # A header that promises far more data than follows.
    write("audio_file_reader", "wav-huge-data-size.wav", wav[:40] + struct.pack("<I", 0x7FFFFFF0) + wav[44:60])
    write("audio_file_reader", "wav-no-channels.wav", wav[:22] + struct.pack("<H", 0) + wav[24:])
    write("audio_file_reader", "wav-rate-1hz.wav", wav[:24] + struct.pack("<I", 1) + wav[28:])
    write("audio_file_reader", "text.txt", b"go forward ten meters\n")
    write("audio_file_reader", "one-byte", b"\x00")


def grammar_file():
    """Grammar files: the fleet's own grammar and orders, and small ones that
    use every part of JSGF and of phrase lists."""
    top = os.path.dirname(os.path.dirname(HERE))
    with open(os.path.join(top, "examples", "ship_orders.gram"), "rb") as f:
        write("grammar_file", "ship_orders.gram", f.read())
    with open(os.path.join(top, "bench", "ship_orders.txt"), "rb") as f:
        orders = [line for line in f.read().splitlines(keepends=True) if not line.startswith(b"#")]
        write("grammar_file", "phrases.txt", b"".join(orders[:12]))
    write("grammar_file", 'bom.gram', b'\xef\xbb\xbf#JSGF V1.0;\ngrammar g;\npublic <a> = <g.b>;\n<b> = (((((x)))));\n/* comment */ // line\n')
    write("grammar_file", 'case.txt', b'# comment\n\n  Second Ship  Retreat\r\n\xc3\x89T\xc3\x89\n')
    write("grammar_file", 'features.gram', b'#JSGF V1.0 UTF-8 en;\ngrammar all;\nimport <other.*>;\npublic <a> = /2/ (one | two)+ [three]* {tag} | /1/ "four five" <b>;\n<b> = six <b> | <NULL>;\n<c> = <VOID>;\n')
    write("grammar_file", 'tags.gram', b'#JSGF V1.0;\ngrammar fleet;\npublic <order> = [<ship>] <command> {order};\n<ship> = second ship {2} | flagship {F} { flag };\n<command> = set course <bearing> | fire {fire} (torpedoes {T} | cannons) {} ;\n<bearing> = north east {NE} | north {N};\npublic <route> = via <stop> {\\} x};\n<stop> = <place> {p} [and <stop>];\n<place> = port | base;\n')
    write("grammar_file", 'hands.gram', b'#JSGF V1.0;\ngrammar hands;\npublic <hand> = <card> | <card> <card> | <rank> <card>;\n<card> = <rank> [of] <suit>;\n<suit> = clubs | hearts | diamonds | spades;\n<rank> = ace | two | ten | jack | queen | king;\n')
    write("grammar_file", 'pronunciations.txt', b'\xef\xbb\xbf# the fleet\nkestrel K EH1 S T R AH0 L\nXqor zook or\n\nftl eh f t iy eh l\nftl F T L\nb52 B-52\n')
    write("grammar_file", 'pronunciations-bad.txt', b'vandaris V AE N\nzephyrion\n')
    write("grammar_file", 'turtle.gram', b'#JSGF V1.0;\n\ngrammar turtle;\n\npublic <move> = go <direction> <distance> [meter | meters];\npublic <turn> = turn (left | right);\n<direction> = forward | backward;\n<distance> = one | two | three | ten;\n')


if __name__ == "__main__":
    control_channel()
    speech_input()
    flite_text()
    argument_list()
    audio_file_reader()
    grammar_file()
