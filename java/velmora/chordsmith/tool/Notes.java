package velmora.chordsmith.tool;

/** Names and pitches of the engine's 72 semitone bands: band 0 is C1, band 45 is A4 at 440 Hz. */
final class Notes {
  static final int A4_BAND = 45;
  private static final String[] NAMES = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

  private Notes() {}

  /** "C1", "F#3", "A4", ... */
  static String name(int band) { return NAMES[band % 12] + (1 + band / 12); }

  /** Equal-tempered centre frequency in Hz. */
  static double hz(int band) { return 440 * Math.pow(2, (band - A4_BAND) / 12.0); }

  /** The band a frequency falls in, by the nearest semitone; may lie outside 0..71. */
  static int band(double hz) { return (int) Math.round(A4_BAND + 12 * Math.log(hz / 440) / Math.log(2)); }
}
