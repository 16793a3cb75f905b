/*
 * blink: walks one low line along port 1, four steps a second on a
 * 12 MHz 8051, so that LEDs on P1 show the chip runs.
 * Runs on every chip Korvane programs, the 89C2051 (2 KB) included.
 */
#include <8051.h>

/* Roughly Ms milliseconds at 12 MHz: the inner loop takes about 1 ms. */
static void delay_ms(unsigned int Ms) {
  unsigned char Inner;
  while (Ms-- != 0) {
    for (Inner = 0; Inner < 124; Inner++) {
      __asm nop __endasm;
    }
  }
}

void main(void) {
  unsigned char Lamp = 0x01;
  for (;;) {
    P1 = (unsigned char)~Lamp; /* LEDs to Vcc: a low line lights one */
    delay_ms(250);
    Lamp = (unsigned char)((Lamp << 1) | (Lamp >> 7));
  }
}
