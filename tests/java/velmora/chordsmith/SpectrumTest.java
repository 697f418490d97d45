package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import org.junit.jupiter.api.Test;

/**
 * The spectrum analyser's native methods through a real JVM, running with -Xcheck:jni. Nothing
 * here drives the engine, so the band levels stay as they are during each test: 0 in a fresh
 * JVM, whatever the last analysis left when engine tests ran earlier in the same JVM.
 */
class SpectrumTest {
  private final NativeInterface dsp = new NativeInterface();

  private static float[] filled(int length, float value) {
    float[] a = new float[length];
    Arrays.fill(a, value);
    return a;
  }

  private float[] allBands() {
    float[] bands = filled(72, Float.NaN);
    dsp.dspGetSpectrum(bands, 72);
    return bands;
  }

  @Test
  void readsAllBandsAsFiniteNonNegativeLevels() {
    float[] bands = allBands();
    for (int i = 0; i < 72; i++) {
      assertTrue(Float.isFinite(bands[i]) && bands[i] >= 0f, "band " + i + ": " + bands[i]);
    }
    assertArrayEquals(bands, allBands());
  }

  @Test
  void copiesNoMoreThanTheBandsTheCountAndTheArrayAllow() {
    float[] bands = allBands();

    float[] ten = filled(72, -1f);
    dsp.dspGetSpectrum(ten, 10);
    for (int i = 0; i < 72; i++) assertEquals(i < 10 ? bands[i] : -1f, ten[i], "element " + i);

    float[] hundred = filled(100, -1f);
    dsp.dspGetSpectrum(hundred, 100);
    for (int i = 0; i < 100; i++) assertEquals(i < 72 ? bands[i] : -1f, hundred[i], "element " + i);

    float[] shortArray = filled(5, -1f);
    dsp.dspGetSpectrum(shortArray, 72);
    assertArrayEquals(Arrays.copyOf(bands, 5), shortArray);

    for (int size : new int[] {0, -7}) {
      float[] untouched = filled(72, -1f);
      dsp.dspGetSpectrum(untouched, size);
      assertArrayEquals(filled(72, -1f), untouched);
    }
    assertDoesNotThrow(() -> dsp.dspGetSpectrum(new float[0], 72));
  }

  @Test
  void toleratesANullArray() {
    assertDoesNotThrow(() -> dsp.dspGetSpectrum(null, 72));
  }

  @Test
  void switchesOnAndOffWithAnyValueWithoutTouchingTheLevels() {
    float[] bands = allBands();
    assertDoesNotThrow(() -> {
      dsp.dspSpectrumEnable(0);
      dsp.dspSpectrumEnable(5);
      dsp.dspSpectrumEnable(-1);
      dsp.dspSpectrumEnable(1);
    });
    assertArrayEquals(bands, allBands());
  }
}
