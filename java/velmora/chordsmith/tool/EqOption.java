package velmora.chordsmith.tool;

import java.util.HashMap;
import java.util.Locale;
import java.util.Map;
import velmora.chordsmith.EqCurve;

/**
 * The equaliser as a person types it after --eq: a comma-separated list of {@code point=dB},
 * where a point is a named band ({@code bass}, {@code low-mid} or {@code lowmid}, ...) or a
 * frequency in Hz ({@code 440}, {@code 2.5k}, {@code 300Hz}), and the gain may end in dB.
 */
final class EqOption {
  static final String HELP =
      "sub=40Hz bass=100 low-mid=300 mid=1k high-mid=3k treble=8k, or any frequency in Hz";

  private EqOption() {}

  static EqCurve parse(String text) throws ToolException {
    Map<Double, Double> points = new HashMap<>();
    Map<Double, String> given = new HashMap<>();
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
    return EqCurve.through(points);
  }

  private static double frequencyOf(String where) throws ToolException {
    for (int i = 0; i < EqCurve.NAMES.length; i++) {
      String name = EqCurve.NAMES[i];
      if (name.equals(where) || name.replace("-", "").equals(where)) return EqCurve.CENTRES[i];
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
    if (!(gain >= EqCurve.MIN_DB && gain <= EqCurve.MAX_DB)) {
      throw ToolException.usage("--eq: " + item + " is out of range: use " + (int) EqCurve.MIN_DB + " to +"
          + (int) EqCurve.MAX_DB + " dB");
    }
    return gain;
  }
}
