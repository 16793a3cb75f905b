/*
 * big: an eight-voice tone generator. Timer 0 interrupts 8000 times a second
 * and puts the next sample of the chosen waveform, scaled by a decaying
 * envelope, on port 1, where an R-2R ladder turns it into sound. The switches
 * on P3.3 to P3.5 choose the voice; a tune plays over and over.
 *
 * Its tables (tables.h, 4 KB of waveforms alone) make the code larger than
 * 4 KB, so it fits the 8 KB and 20 KB chips only. At start it checks the
 * waveforms against their CRC and, when they differ, flashes P3.7 instead of
 * playing: a quick proof that the chip holds what was written.
 */
#include <8051.h>

#include "tables.h"

#define REST 0xFF
#define ERROR_LAMP P3_7

/* The tune: note (MIDI number) and length in sixteenths. */
__code const unsigned char Tune[][2] = {
    {60, 4}, {64, 4}, {67, 4}, {72, 8}, {REST, 2}, {67, 2}, {72, 12}, {REST, 4},
    {62, 4}, {65, 4}, {69, 4}, {74, 8}, {REST, 2}, {69, 2}, {74, 12}, {REST, 4},
    {64, 2}, {65, 2}, {67, 2}, {69, 2}, {71, 2},   {72, 2}, {74, 2},  {76, 2},
    {77, 4}, {76, 4}, {74, 4}, {72, 4}, {71, 8},   {67, 8}, {72, 16}, {REST, 8},
};
#define TUNE_LENGTH (sizeof Tune / sizeof Tune[0])

static volatile unsigned int Phase;
static volatile unsigned int Step;
static volatile unsigned char Voice;
static volatile unsigned char Loudness;
/* Counts interrupts; the main loop times notes and the envelope with it. */
static volatile unsigned int Ticks;

void SampleTimer(void) __interrupt(1) {
  unsigned char Sample;
  Phase += Step;
  Sample = Waves[Voice][Phase >> 7]; /* 16-bit phase, 512 samples */
  P1 = (unsigned char)(((unsigned int)Sample * Loudness) >> 8);
  Ticks++;
}

static unsigned int CrcOfWaves(void) {
  unsigned int Crc = 0xFFFF;
  unsigned char V;
  unsigned int I;
  for (V = 0; V < VOICE_COUNT; V++) {
    for (I = 0; I < WAVE_SAMPLES; I++) {
      Crc = (Crc << 8) ^ CrcTable[(unsigned char)(Crc >> 8) ^ Waves[V][I]];
    }
  }
  return Crc;
}

static unsigned int TicksNow(void) {
  unsigned int Now;
  EA = 0;
  Now = Ticks;
  EA = 1;
  return Now;
}

/* Waits Count ticks of the sample timer (125 us each). */
static void WaitTicks(unsigned int Count) {
  unsigned int Start = TicksNow();
  while ((unsigned int)(TicksNow() - Start) < Count) {
  }
}

static void FlashError(void) {
  unsigned int Loop;
  for (;;) {
    ERROR_LAMP = !ERROR_LAMP;
    for (Loop = 0; Loop < 30000; Loop++) {
      __asm nop __endasm;
    }
  }
}

static void PlayNote(unsigned char Note, unsigned char Sixteenths) {
  /* A sixteenth at 120 beats a minute: 125 ms, 1000 ticks. */
  unsigned int Length = (unsigned int)Sixteenths * 1000u;
  unsigned int Slice = Length / 64u;
  unsigned char I;

  Voice = (P3 >> 3) & 0x07;
  if (Note == REST || Note < NOTE_LOWEST) {
    Loudness = 0;
    WaitTicks(Length);
    return;
  }
  Step = NoteSteps[Note - NOTE_LOWEST];
  for (I = 0; I < 64; I++) {
    Loudness = Envelope[I];
    WaitTicks(Slice);
  }
}

void main(void) {
  unsigned char I;

  P1 = 0x80;
  if (CrcOfWaves() != WAVES_CRC) {
    FlashError();
  }

  TMOD = 0x02; /* timer 0, 8-bit auto-reload */
  TH0 = 131;   /* 125 us at 12 MHz: 8000 samples a second */
  TL0 = 131;
  ET0 = 1;
  EA = 1;
  TR0 = 1;

  for (;;) {
    for (I = 0; I < TUNE_LENGTH; I++) {
      PlayNote(Tune[I][0], Tune[I][1]);
    }
  }
}
