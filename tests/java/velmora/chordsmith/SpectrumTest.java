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
    float[] bands = filled(EngineFacts.BANDS, Float.NaN);
    dsp.dspGetSpectrum(bands, EngineFacts.BANDS);
    return bands;
  }

  @Test
  void readsAllBandsAsFiniteNonNegativeLevels() {
    float[] bands = allBands();
    for (int i = 0; i < EngineFacts.BANDS; i++) {
      assertTrue(Float.isFinite(bands[i]) && bands[i] >= 0f, "band " + i + ": " + bands[i]);
    }
    assertArrayEquals(bands, allBands());
  }

  @Test
  void copiesNoMoreThanTheBandsTheCountAndTheArrayAllow() {
    float[] bands = allBands();

    float[] ten = filled(EngineFacts.BANDS, -1f);
    dsp.dspGetSpectrum(ten, 10);
    for (int i = 0; i < EngineFacts.BANDS; i++) assertEquals(i < 10 ? bands[i] : -1f, ten[i], "element " + i);

    float[] hundred = filled(100, -1f);
    dsp.dspGetSpectrum(hundred, 100);
    for (int i = 0; i < 100; i++) {
      assertEquals(i < EngineFacts.BANDS ? bands[i] : -1f, hundred[i], "element " + i);
    }

    float[] shortArray = filled(5, -1f);
    dsp.dspGetSpectrum(shortArray, EngineFacts.BANDS);
    assertArrayEquals(Arrays.copyOf(bands, 5), shortArray);

    for (int size : new int[] {0, -7}) {
      float[] untouched = filled(EngineFacts.BANDS, -1f);
      dsp.dspGetSpectrum(untouched, size);
      assertArrayEquals(filled(EngineFacts.BANDS, -1f), untouched);
    }
    assertDoesNotThrow(() -> dsp.dspGetSpectrum(new float[0], EngineFacts.BANDS));
  }

  @Test
  void toleratesANullArray() {
    assertDoesNotThrow(() -> dsp.dspGetSpectrum(null, EngineFacts.BANDS));
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
