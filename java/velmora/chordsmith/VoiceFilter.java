package velmora.chordsmith;

/**
 * The default voice-removal filter: passes the vocal band, so that subtracting the filtered
 * opposite channel cancels what sits in the centre of the mix in that band and little else.
 *
 * <p>The engine computes left − amount × H(right) and right − amount × H(left). For a centre
 * signal (left = right = x) that leaves (1 − amount × H) x, so inside the band H must be close to
 * 1 in magnitude and in phase: a plain band-pass biquad reaches that only at its centre. We build
 * H = 1 − LP(low) − HP(high) instead, with second-order Butterworth low- and high-pass sections
 * at the band edges: deep in the band both sections are small, so 1 − H = LP + HP leaves the
 * centre at about −20 dB around 1 kHz for the default 150 Hz to 6 kHz band, while below and above
 * the band H falls away and the bass and the cymbals stay. The result is one fourth-order IIR
 * filter, numerator and denominator with five coefficients each, the denominator normalised so
 * that a[0] = 1, to be run in double precision on 16-bit-scale samples (the gain is 1 in the
 * band, so the scale does not matter).
 */
public final class VoiceFilter {
  public static final double DEFAULT_LOW_HZ = 150;
  public static final double DEFAULT_HIGH_HZ = 6000;
  /** Upper band edges are kept below this fraction of the sample rate, clear of Nyquist. */
  public static final double MAX_EDGE_OF_RATE = 0.45;

  /** Denominator, a[0] = 1. */
  public final double[] a;
  /** Numerator. */
  public final double[] b;
  /** The band the filter was designed for, the upper edge as lowered. */
  public final double lowHz;
  public final double highHz;

  private VoiceFilter(double[] a, double[] b, double lowHz, double highHz) {
    this.a = a;
    this.b = b;
    this.lowHz = lowHz;
    this.highHz = highHz;
  }

  /**
   * Designs the filter for the band {@code lowHz} to {@code highHz} at {@code sampleRate}. An
   * upper edge too close to Nyquist is lowered to 0.45 × the rate; a band narrower than an octave
   * after that is refused (IllegalArgumentException), since the two sections would then overlap
   * and cancel nothing.
   */
  public static VoiceFilter design(double lowHz, double highHz, int sampleRate) {
    double high = Math.min(highHz, MAX_EDGE_OF_RATE * sampleRate);
    if (!(lowHz >= 20) || !(high >= 2 * lowHz)) {
      throw new IllegalArgumentException(String.format(
          "the voice band %.0f to %.0f Hz is too narrow at %d Hz: it must span an octave or more",
          lowHz, high, sampleRate));
    }
    double[][] low = butterworth(lowHz, sampleRate, false);
    double[][] hp = butterworth(high, sampleRate, true);
    // H = (Al Ah − Bl Ah − Bh Al) / (Al Ah)
    double[] den = multiply(low[0], hp[0]);
    double[] num = multiply(low[0], hp[0]);
    double[] lowPart = multiply(low[1], hp[0]);
    double[] highPart = multiply(hp[1], low[0]);
    for (int i = 0; i < num.length; i++) num[i] -= lowPart[i] + highPart[i];
    return new VoiceFilter(den, num, lowHz, high);
  }

  /**
   * Second-order Butterworth section (Q = 1/√2) by the bilinear transform with the cutoff
   * prewarped: {a, b} with a[0] = 1.
   */
  static double[][] butterworth(double cutoffHz, int sampleRate, boolean highPass) {
    double w0 = 2 * Math.PI * cutoffHz / sampleRate;
    double cos = Math.cos(w0);
    double alpha = Math.sin(w0) / (2 * Math.sqrt(0.5));
    double a0 = 1 + alpha;
    double[] a = {1, -2 * cos / a0, (1 - alpha) / a0};
    double[] b = highPass
        ? new double[] {(1 + cos) / 2 / a0, -(1 + cos) / a0, (1 + cos) / 2 / a0}
        : new double[] {(1 - cos) / 2 / a0, (1 - cos) / a0, (1 - cos) / 2 / a0};
    return new double[][] {a, b};
  }

  static double[] multiply(double[] p, double[] q) {
    double[] r = new double[p.length + q.length - 1];
    for (int i = 0; i < p.length; i++) {
      for (int j = 0; j < q.length; j++) r[i + j] += p[i] * q[j];
    }
    return r;
  }
}
