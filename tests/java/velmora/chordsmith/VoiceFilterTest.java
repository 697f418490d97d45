package velmora.chordsmith;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** The default voice-removal filter, judged by what subtracting it does to centre and side sounds. */
class VoiceFilterTest {
  /** |H(e^jw)| or, with {@code complement}, |1 - H(e^jw)|. */
  static double response(VoiceFilter f, double hz, int rate, boolean complement) {
    double w = 2 * Math.PI * hz / rate;
    double[] num = evaluate(f.b, w);
    double[] den = evaluate(f.a, w);
    double d = den[0] * den[0] + den[1] * den[1];
    double re = (num[0] * den[0] + num[1] * den[1]) / d;
    double im = (num[1] * den[0] - num[0] * den[1]) / d;
    if (complement) re = 1 - re;
    if (complement) im = -im;
    return Math.hypot(re, im);
  }

  private static double[] evaluate(double[] p, double w) {
    double re = 0;
    double im = 0;
    for (int k = 0; k < p.length; k++) {
      re += p[k] * Math.cos(-w * k);
      im += p[k] * Math.sin(-w * k);
    }
    return new double[] {re, im};
  }

  @Test
  void isAFourthOrderFilterNormalisedForTheEngine() throws Exception {
    VoiceFilter f = VoiceFilter.design(150, 6000, 44100);
    assertEquals(5, f.a.length);
    assertEquals(5, f.b.length);
    assertEquals(1.0, f.a[0]);
  }

  @Test
  void cancelsACentredSoundInsideTheBandAndSparesTheBass() throws Exception {
    VoiceFilter f = VoiceFilter.design(150, 6000, 44100);
    // What is left of a centred sound after subtracting the filtered other side: 1 - H.
    assertTrue(response(f, 1000, 44100, true) < 0.05, "1 kHz centre left over");
    assertTrue(response(f, 440, 44100, true) < 0.15, "440 Hz centre left over");
    assertTrue(response(f, 40, 44100, true) > 0.95, "40 Hz centre should stay");
    assertTrue(response(f, 15000, 44100, true) > 0.95, "15 kHz centre should stay");
    // How much of the other side leaks in, |H|: falling away below and above the band.
    assertTrue(response(f, 30, 44100, false) < 0.3);
    assertTrue(response(f, 15000, 44100, false) < 0.4);
  }

  @Test
  void isStable() throws Exception {
    VoiceFilter f = VoiceFilter.design(150, 6000, 8000);
    double[] x = new double[f.b.length];
    double[] y = new double[f.a.length];
    double last = 0;
    for (int n = 0; n < 20000; n++) {
      double in = n == 0 ? 1 : 0;
      System.arraycopy(x, 0, x, 1, x.length - 1);
      x[0] = in;
      double out = 0;
      for (int k = 0; k < f.b.length; k++) out += f.b[k] * x[k];
      for (int k = 1; k < f.a.length; k++) out -= f.a[k] * y[k - 1];
      System.arraycopy(y, 0, y, 1, y.length - 1);
      y[0] = out;
      last = Math.abs(out);
    }
    assertTrue(last < 1e-9, "impulse response still " + last + " after 20000 samples");
  }

  @Test
  void keepsTheUpperEdgeBelowNyquistAndRefusesABandNarrowerThanAnOctave() throws Exception {
    VoiceFilter f = VoiceFilter.design(150, 6000, 8000);
    assertEquals(3600, f.highHz, 1e-9);
    var e = assertThrows(IllegalArgumentException.class, () -> VoiceFilter.design(3000, 6000, 8000));
    assertTrue(e.getMessage().contains("octave"));
  }
}
