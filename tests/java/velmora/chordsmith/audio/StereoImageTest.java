package velmora.chordsmith.audio;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Random;
import org.junit.jupiter.api.Test;

class StereoImageTest {
  /** Interleaved frames of left(i) and right(i). */
  static StereoImage of(int frames, java.util.function.IntUnaryOperator left,
                        java.util.function.IntUnaryOperator right) {
    short[] samples = new short[2 * frames];
    for (int i = 0; i < frames; i++) {
      samples[2 * i] = (short) left.applyAsInt(i);
      samples[2 * i + 1] = (short) right.applyAsInt(i);
    }
    StereoImage image = new StereoImage();
    image.add(samples, 0, frames / 2);
    image.add(samples, frames / 2, frames - frames / 2);
    return image;
  }

  @Test
  void sameSignalUnrelatedSignalsAndOppositeSignalsAsAListenerKnowsThem() {
    int n = 100_000;
    int[] a = new Random(1).ints(n, -10000, 10000).toArray();
    int[] b = new Random(2).ints(n, -10000, 10000).toArray();
    StereoImage centred = of(n, i -> a[i] / 2 * 2, i -> a[i] / 2);
    assertEquals(1, centred.correlation(), 1e-12);
    assertEquals(10 * Math.log10(1.5 * 1.5 / 2.5), centred.monoFoldDb(), 1e-9);

    StereoImage apart = of(n, i -> a[i], i -> b[i]);
    assertEquals(0, apart.correlation(), 0.01);
    assertEquals(-3.01, apart.monoFoldDb(), 0.05);

    StereoImage opposite = of(n, i -> a[i], i -> -a[i]);
    assertEquals(-1, opposite.correlation(), 1e-12);
    assertEquals(Double.NEGATIVE_INFINITY, opposite.monoFoldDb());

    StereoImage oneSideSilent = of(n, i -> a[i], i -> 0);
    assertTrue(Double.isNaN(oneSideSilent.correlation()) && Double.isNaN(oneSideSilent.monoFoldDb()));
  }
}
