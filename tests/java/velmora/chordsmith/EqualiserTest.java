package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;

import org.junit.jupiter.api.Test;

/** The equaliser's native methods through a real JVM, running with -Xcheck:jni. */
class EqualiserTest {
  private final NativeInterface dsp = new NativeInterface();

  @Test
  void acceptsArraysOfAnyLengthAndLeavesThemUnchanged() {
    for (int length : new int[] {0, 1, 7, 1024, 5000}) {
      float[] levels = new float[length];
      for (int i = 0; i < length; i++) levels[i] = 0.5f * i;
      float[] copy = levels.clone();
      dsp.dspEQSetBands(levels);
      assertArrayEquals(copy, levels);
    }
  }

  @Test
  void toleratesANullArray() {
    assertDoesNotThrow(() -> dsp.dspEQSetBands(null));
  }

  @Test
  void switchesOnAndOff() {
    assertDoesNotThrow(() -> {
      dsp.dspEQEnable(5);
      dsp.dspEQEnable(-1);
      dsp.dspEQEnable(0);
    });
  }
}
