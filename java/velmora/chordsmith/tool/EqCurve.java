package velmora.chordsmith.tool;

import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.TreeMap;

/**
 * An equaliser a person can type, turned into the engine's per-bin gains.
 *
 * <p>The text is a comma-separated list of {@code point=dB}, where a point is one of the named
 * bands (sub 40 Hz, bass 100 Hz, low-mid 300 Hz, mid 1 kHz, high-mid 3 kHz, treble 8 kHz) or a
 * frequency in Hz ({@code 440}, {@code 2.5k}). Named bands not given stay at 0 dB and anchor the
 * curve, so a single point gives a bump around it rather than a shelf. Between points the gain in
 * dB is interpolated linearly over log frequency; below the lowest and above the highest point it
 * stays flat. The engine multiplies each FFT bin's magnitude by its linear gain.
 */
final class EqCurve {
  static final String[] NAMES = {"sub", "bass", "low-mid", "mid", "high-mid", "treble"};
  static final double[] CENTRES = {40, 100, 300, 1000, 3000, 8000};
  static final double MIN_DB = -30;
  static final double MAX_DB = 12;
  static final String HELP =
      "sub=40Hz bass=100 low-mid=300 mid=1k high-mid=3k treble=8k, or any frequency in Hz";

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

  static EqCurve parse(String text) throws ToolException {
    TreeMap<Double, Double> points = new TreeMap<>();
    for (double c : CENTRES) points.put(c, 0.0);
    TreeMap<Double, String> given = new TreeMap<>();
    for (String item : text.split(",")) {
      item = item.trim();
      if (item.isEmpty()) continue;
      int eq = item.indexOf('=');
      if (eq <= 0 || eq == item.length() - 1) {
        throw ToolException.usage("--eq: '" + item + "' is not band=dB (bands: " + HELP + ")");
      }
      String where = item.substring(0, eq).trim().toLowerCase(Locale.ROOT);
      double f = frequencyOf(where);
      double gain = decibelsOf(item.substring(eq + 1).trim(), item);
      if (given.containsKey(f)) {
        throw ToolException.usage("--eq: " + item + " repeats " + given.get(f));
      }
      given.put(f, item);
      points.put(f, gain);
    }
    if (given.isEmpty()) throw ToolException.usage("--eq needs at least one band=dB (bands: " + HELP + ")");
    return new EqCurve(points);
  }

  private static double frequencyOf(String where) throws ToolException {
    for (int i = 0; i < NAMES.length; i++) {
      if (NAMES[i].equals(where) || NAMES[i].replace("-", "").equals(where)) return CENTRES[i];
    }
    String number = where.endsWith("hz") ? where.substring(0, where.length() - 2) : where;
    double scale = 1;
    if (number.endsWith("k")) {
      scale = 1000;
      number = number.substring(0, number.length() - 1);
    }
    double f;
    try {
      f = Double.parseDouble(number) * scale;
    } catch (NumberFormatException e) {
      throw ToolException.usage("--eq: unknown band '" + where + "' (bands: " + HELP + ")");
    }
    if (!(f >= 20 && f <= 20000)) throw ToolException.usage("--eq: " + where + " is outside 20 Hz to 20 kHz");
    return f;
  }

  private static double decibelsOf(String value, String item) throws ToolException {
    String number = value.toLowerCase(Locale.ROOT);
    if (number.endsWith("db")) number = number.substring(0, number.length() - 2).trim();
    double gain;
    try {
      gain = Double.parseDouble(number);
    } catch (NumberFormatException e) {
      throw ToolException.usage("--eq: '" + item + "' needs a gain in dB, e.g. bass=+4");
    }
    if (!(gain >= MIN_DB && gain <= MAX_DB)) {
      throw ToolException.usage(
          "--eq: " + item + " is out of range: use " + (int) MIN_DB + " to +" + (int) MAX_DB + " dB");
    }
    return gain;
  }

  /** The curve's gain in dB at {@code f} Hz. */
  double gainDb(double f) {
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
  float[] binGains(int frameSize, int sampleRate, int length) {
    float[] gains = new float[length];
    for (int i = 0; i < length; i++) {
      double f = (double) i * sampleRate / frameSize;
      gains[i] = (float) Math.pow(10, gainDb(f) / 20);
    }
    return gains;
  }

  /** The points a person set, for the summary: "bass +4 dB, 2500 Hz -6 dB". */
  String describe() {
    List<String> parts = new ArrayList<>();
    for (int i = 0; i < hz.length; i++) {
      if (db[i] == 0 && isNamedCentre(hz[i])) continue;
      parts.add(String.format(Locale.ROOT, "%s %+.1f dB", nameOf(hz[i]), db[i]));
    }
    return parts.isEmpty() ? "flat" : String.join(", ", parts);
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
