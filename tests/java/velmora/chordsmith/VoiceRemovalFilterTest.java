package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;

import org.junit.jupiter.api.Test;

/** Loading voice-removal coefficients through a real JVM, running with -Xcheck:jni. */
class VoiceRemovalFilterTest {
  private final NativeInterface dsp = new NativeInterface();

  private static double[] coefficients(int length, double first) {
    double[] c = new double[length];
    for (int i = 0; i < length; i++) c[i] = first / (i + 1);
    return c;
  }

  @Test
  void acceptsArraysOfAnyLengthWithCountsUpToAndPastTheirEndsAndLeavesThemUnchanged() {
    int[] lengths = {1, 2, 3, 8, 65, 4096};
    int[] counts = {1, 2, 3, 7, 64, 5000, Integer.MAX_VALUE};
    for (int lengthA : lengths) {
      for (int lengthB : lengths) {
        double[] a = coefficients(lengthA, 1.0);
        double[] b = coefficients(lengthB, 0.5);
        double[] copyA = a.clone();
        double[] copyB = b.clone();
        for (int count : counts) {
          dsp.dspVoiceRemovalFilter(a, b, count, count);
          dsp.dspVoiceRemovalFilter(a, b, count, 1);
          dsp.dspVoiceRemovalFilter(a, b, 1, count);
        }
        assertArrayEquals(copyA, a);
        assertArrayEquals(copyB, b);
      }
    }
  }

  @Test
  void ignoresCountsBelowOneEmptyArraysAndNullArrays() {
    double[] a = {1.0, -0.5};
    double[] b = {0.5, 0.5};
    assertDoesNotThrow(() -> {
      for (int count : new int[] {0, -1, Integer.MIN_VALUE}) {
        dsp.dspVoiceRemovalFilter(a, b, count, 2);
        dsp.dspVoiceRemovalFilter(a, b, 2, count);
      }
      dsp.dspVoiceRemovalFilter(new double[0], b, 1, 1);
      dsp.dspVoiceRemovalFilter(a, new double[0], 1, 1);
      dsp.dspVoiceRemovalFilter(null, b, 2, 2);
      dsp.dspVoiceRemovalFilter(a, null, 2, 2);
      dsp.dspVoiceRemovalFilter(null, null, 2, 2);
    });
    assertArrayEquals(new double[] {1.0, -0.5}, a);
    assertArrayEquals(new double[] {0.5, 0.5}, b);
  }

  @Test
  void acceptsOneArrayAsBothNumeratorAndDenominator() {
    double[] c = {1.0, 0.25, -0.125};
    dsp.dspVoiceRemovalFilter(c, c, 3, 3);
    assertArrayEquals(new double[] {1.0, 0.25, -0.125}, c);
  }

  @Test
  void survivesSetUpsFromSeveralThreadsAtOnce() throws InterruptedException {
    Thread[] threads = new Thread[4];
    for (int t = 0; t < threads.length; t++) {
      final int order = t + 1;
      threads[t] = new Thread(() -> {
        double[] a = coefficients(order + 1, 1.0);
        double[] b = coefficients(order + 2, 0.25);
        for (int i = 0; i < 500; i++) dsp.dspVoiceRemovalFilter(a, b, order + 1, order + 2);
      });
      threads[t].start();
    }
    for (Thread thread : threads) thread.join();
  }
}
