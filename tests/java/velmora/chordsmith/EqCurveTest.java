package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.util.Map;
import org.junit.jupiter.api.Test;

/** An equaliser curve through a few points and the per-bin gains it becomes. */
class EqCurveTest {
  @Test
  void passesThroughEachPointAndIsFlatBeyondTheOutermost() {
    EqCurve eq = EqCurve.through(Map.of(100.0, 6.0, 8000.0, -12.0, 2500.0, 3.0));
    assertEquals(6, eq.gainDb(100), 1e-12);
    assertEquals(-12, eq.gainDb(8000), 1e-12);
    assertEquals(3, eq.gainDb(2500), 1e-12);
    assertEquals(0, eq.gainDb(1000), 1e-12);  // named bands not given anchor the curve at 0 dB
    assertEquals(-12, eq.gainDb(20000), 1e-12);
    assertEquals(0, eq.gainDb(0), 1e-12);  // below sub (40 Hz, 0 dB) the curve is flat
  }

  @Test
  void interpolatesOverLogFrequency() {
    EqCurve eq = EqCurve.through(Map.of(1000.0, -6.0));
    // Halfway between 300 Hz (0 dB) and 1 kHz (-6 dB) on a log scale is sqrt(300 * 1000).
    assertEquals(-3, eq.gainDb(Math.sqrt(300 * 1000)), 1e-9);
  }

  @Test
  void givesOneLinearGainPerBinAtTheBinsFrequency() {
    EqCurve eq = EqCurve.through(Map.of(1000.0, -20.0));
    float[] gains = eq.binGains(1024, 32000, 512);
    assertEquals(512, gains.length);
    assertEquals(0.1f, gains[32], 1e-6f);  // bin 32 of 1024 at 32 kHz is 1000 Hz
    assertEquals(1f, gains[0], 0f);
    assertEquals(1f, gains[300], 0f);  // 9375 Hz, above treble: flat at 0 dB
  }

  @Test
  void describesOnlyThePointsThatWereSet() {
    EqCurve eq = EqCurve.through(Map.of(2500.0, -6.0, 100.0, 4.0));
    assertEquals("bass +4.0 dB, 2500 Hz -6.0 dB", eq.describe());
  }
}
