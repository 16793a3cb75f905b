#!/usr/bin/env python3
"""Writes tables.h for big.c: eight 512-sample waveforms built from harmonic
amplitudes, the CRC-16/CCITT table and the check value of the waveforms, the
phase steps of the notes, and a decay envelope. Run: python3 gen_tables.py > tables.h"""
import math

SAMPLE_RATE = 8000  # timer 0 interrupts per second (12 MHz, reload 131)
SAMPLES = 512

# Harmonic amplitudes (fundamental first) of each voice.
VOICES = [
    ("sine", [1.0]),
    ("triangle", [1.0, 0, -1 / 9, 0, 1 / 25, 0, -1 / 49, 0, 1 / 81]),
    ("soft square", [1.0, 0, 1 / 3, 0, 1 / 5, 0, 1 / 7, 0, 1 / 9]),
    ("saw", [1.0 / n for n in range(1, 12)]),
    ("organ", [1.0, 0.5, 0.25, 0.3, 0, 0.15, 0, 0.1]),
    ("reed", [1.0, 0, 0.7, 0, 0.5, 0, 0.3, 0, 0.2, 0, 0.1]),
    ("brass", [1.0, 0.8, 0.6, 0.5, 0.4, 0.3, 0.2, 0.15, 0.1]),
    ("bell", [1.0, 0, 0, 0.6, 0, 0, 0, 0.4, 0, 0, 0.3]),
]


def wave(harmonics):
    raw = [sum(a * math.sin(2 * math.pi * (n + 1) * i / SAMPLES) for n, a in enumerate(harmonics))
           for i in range(SAMPLES)]
    low, high = min(raw), max(raw)
    return [round((v - low) * 255 / (high - low)) for v in raw]


def crc16(data, table):
    crc = 0xFFFF
    for b in data:
        crc = ((crc << 8) & 0xFFFF) ^ table[((crc >> 8) ^ b) & 0xFF]
    return crc


crc_table = []
for i in range(256):
    c = i << 8
    for _ in range(8):
        c = ((c << 1) ^ 0x1021) if c & 0x8000 else (c << 1)
    crc_table.append(c & 0xFFFF)

waves = [wave(h) for _, h in VOICES]
check = crc16([b for w in waves for b in w], crc_table)

# MIDI notes 36 (C2) to 96 (C7): phase step per sample of a 16-bit accumulator.
steps = [round(440 * 2 ** ((n - 69) / 12) * 65536 / SAMPLE_RATE) for n in range(36, 97)]

# Loudness over a note's life, perceived-linear decay (gamma 2.2), 64 steps.
envelope = [round(255 * ((63 - i) / 63) ** 2.2) for i in range(64)]


def rows(values, per_row, fmt):
    out = []
    for i in range(0, len(values), per_row):
        out.append("    " + ", ".join(fmt % v for v in values[i:i + per_row]) + ",")
    return "\n".join(out)


print("/* Written by gen_tables.py; do not edit. */")
print("#ifndef TABLES_H")
print("#define TABLES_H\n")
print("/* The columns are the generator's. */")
print("/* clang-format off */")
print("#define WAVE_SAMPLES %d" % SAMPLES)
print("#define VOICE_COUNT %d" % len(VOICES))
print("#define NOTE_LOWEST 36")
print("#define WAVES_CRC 0x%04X\n" % check)
print("__code const unsigned char Waves[VOICE_COUNT][WAVE_SAMPLES] = {")
for (name, _), w in zip(VOICES, waves):
    print("  /* %s */ {" % name)
    print(rows(w, 16, "%3d"))
    print("  },")
print("};\n")
print("__code const unsigned int CrcTable[256] = {")
print(rows(crc_table, 8, "0x%04X"))
print("};\n")
print("__code const unsigned int NoteSteps[%d] = {" % len(steps))
print(rows(steps, 8, "%5d"))
print("};\n")
print("__code const unsigned char Envelope[64] = {")
print(rows(envelope, 16, "%3d"))
print("};\n")
print("/* clang-format on */\n")
print("#endif")
