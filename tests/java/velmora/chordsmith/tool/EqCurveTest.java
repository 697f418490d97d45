package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** Typed equaliser settings and the per-bin gains they become. */
class EqCurveTest {
  @Test
  void passesThroughEachPointAndIsFlatBeyondTheOutermost() throws Exception {
    EqCurve eq = EqCurve.parse("bass=+6, treble=-12dB, 2.5k=3");
    assertEquals(6, eq.gainDb(100), 1e-12);
    assertEquals(-12, eq.gainDb(8000), 1e-12);
    assertEquals(3, eq.gainDb(2500), 1e-12);
    assertEquals(0, eq.gainDb(1000), 1e-12);  // named bands not given anchor the curve at 0 dB
    assertEquals(-12, eq.gainDb(20000), 1e-12);
    assertEquals(0, eq.gainDb(0), 1e-12);  // below sub (40 Hz, 0 dB) the curve is flat
  }

  @Test
  void interpolatesOverLogFrequency() throws Exception {
    EqCurve eq = EqCurve.parse("mid=-6");
    // Halfway between 300 Hz (0 dB) and 1 kHz (-6 dB) on a log scale is sqrt(300 * 1000).
    assertEquals(-3, eq.gainDb(Math.sqrt(300 * 1000)), 1e-9);
  }

  @Test
  void givesOneLinearGainPerBinAtTheBinsFrequency() throws Exception {
    EqCurve eq = EqCurve.parse("1000=-20");
    float[] gains = eq.binGains(1024, 32000, 512);
    assertEquals(512, gains.length);
    assertEquals(0.1f, gains[32], 1e-6f);  // bin 32 of 1024 at 32 kHz is 1000 Hz
    assertEquals(1f, gains[0], 0f);
    assertEquals(1f, gains[300], 0f);  // 9375 Hz, above treble: flat at 0 dB
  }

  @Test
  void refusesWhatItCannotRead() {
    String[] bad = {"bass", "bass=", "boom=3", "bass=+99", "bass=loud", "10=3", "bass=1,100=2", ","};
    for (String text : bad) {
      ToolException e = assertThrows(ToolException.class, () -> EqCurve.parse(text), text);
      assertEquals(ToolException.USAGE, e.exitCode);
      assertTrue(e.getMessage().startsWith("--eq"), e.getMessage());
    }
  }

  @Test
  void describesOnlyThePointsThatWereSet() throws Exception {
    assertEquals("bass +4.0 dB, 2500 Hz -6.0 dB", EqCurve.parse("2500=-6,bass=4").describe());
  }
}
