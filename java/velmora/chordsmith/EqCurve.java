package velmora.chordsmith;

import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.TreeMap;

/**
 * An equaliser curve through a few points, turned into the engine's per-bin gains.
 *
 * <p>A point is one of the named bands (sub 40 Hz, bass 100 Hz, low-mid 300 Hz, mid 1 kHz,
 * high-mid 3 kHz, treble 8 kHz) or any frequency, with a gain in dB. Named bands not given stay
 * at 0 dB and anchor the curve, so a single point gives a bump around it rather than a shelf.
 * Between points the gain in dB is interpolated linearly over log frequency; below the lowest
 * and above the highest point it stays flat. The engine multiplies each FFT bin's magnitude by
 * its linear gain.
 */
public final class EqCurve {
  public static final String[] NAMES = {"sub", "bass", "low-mid", "mid", "high-mid", "treble"};
  public static final double[] CENTRES = {40, 100, 300, 1000, 3000, 8000};
  /** The gains worth offering: from nearly off to as much as the limiter leaves clean. */
  public static final double MIN_DB = -30;
  public static final double MAX_DB = 12;

  /** Points sorted by frequency, gains in dB. */
  private final double[] hz;
  private final double[] db;

  private EqCurve(TreeMap<Double, Double> points) {
    hz = new double[points.size()];
    db = new double[points.size()];
    int i = 0;
    for (var e : points.entrySet()) {
      hz[i] = e.getKey();
      db[i] = e.getValue();
      i++;
    }
  }

  /**
   * The curve through {@code points}, gains in dB by frequency in Hz; the named bands that are
   * not among them anchor it at 0 dB.
   */
  public static EqCurve through(Map<Double, Double> points) {
    TreeMap<Double, Double> all = new TreeMap<>();
    for (double c : CENTRES) all.put(c, 0.0);
    all.putAll(points);
    return new EqCurve(all);
  }

  /** The curve's gain in dB at {@code f} Hz. */
  public double gainDb(double f) {
    if (f <= hz[0]) return db[0];
    int last = hz.length - 1;
    if (f >= hz[last]) return db[last];
    int i = 1;
    while (hz[i] < f) i++;
    double t = Math.log(f / hz[i - 1]) / Math.log(hz[i] / hz[i - 1]);
    return db[i - 1] + t * (db[i] - db[i - 1]);
  }

  /**
   * Linear gains for bins 0 to {@code length} - 1 of a frame of {@code frameSize} samples at
   * {@code sampleRate}: gain i belongs to bin i, centred at i × sampleRate / frameSize Hz.
   */
  public float[] binGains(int frameSize, int sampleRate, int length) {
    float[] gains = new float[length];
    for (int i = 0; i < length; i++) {
      double f = (double) i * sampleRate / frameSize;
      gains[i] = (float) Math.pow(10, gainDb(f) / 20);
    }
    return gains;
  }

  /** The points a person set, for the summary: "bass +4 dB, 2500 Hz -6 dB". */
  public String describe() {
    List<String> parts = new ArrayList<>();
    for (int i = 0; i < hz.length; i++) {
      if (db[i] == 0 && isNamedCentre(hz[i])) continue;
      parts.add(String.format(Locale.ROOT, "%s %+.1f dB", nameOf(hz[i]), db[i]));
    }
    return parts.isEmpty() ? "flat" : String.join(", ", parts);
  }

  /**
   * The points a person set at or above {@code f} Hz, as "treble (8000 Hz)" or "9000 Hz": points
   * a recording whose highest frequency is {@code f} cannot play.
   */
  public List<String> pointsFrom(double f) {
    List<String> found = new ArrayList<>();
    for (int i = 0; i < hz.length; i++) {
      if (hz[i] < f || (db[i] == 0 && isNamedCentre(hz[i]))) continue;
      String name = nameOf(hz[i]);
      found.add(isNamedCentre(hz[i]) ? String.format(Locale.ROOT, "%s (%.0f Hz)", name, hz[i]) : name);
    }
    return found;
  }

  private static boolean isNamedCentre(double f) {
    for (double c : CENTRES) {
      if (c == f) return true;
    }
    return false;
  }

  private static String nameOf(double f) {
    for (int i = 0; i < CENTRES.length; i++) {
      if (CENTRES[i] == f) return NAMES[i];
    }
    return String.format(Locale.ROOT, f == Math.rint(f) ? "%.0f Hz" : "%.1f Hz", f);
  }
}
