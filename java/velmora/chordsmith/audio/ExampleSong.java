package velmora.chordsmith.audio;

/**
 * The built-in example song: four bars of a tune at 100 beats per minute in C major, made of a
 * sung-sounding voice in the centre, piano-like chords to the left and a bass to the right. The
 * voice is identical on both sides, so voice removal takes it out and leaves the rest.
 *
 * <p>Everything is additive synthesis, deterministic to the sample: the same song on every
 * machine.
 */
public final class ExampleSong {
  static final int SAMPLE_RATE = 44100;
  static final double BEAT = 60.0 / 100;
  static final int BEATS = 16;
  /** Peak level of the mix, about -3 dBFS. */
  static final double PEAK = 0.7;

  /** The voice: MIDI note and length in beats. */
  static final double[][] MELODY = {
      {64, 1}, {67, 1}, {72, 1.5}, {71, 0.5},
      {69, 1}, {67, 1}, {64, 2},
      {65, 1}, {69, 1}, {72, 1}, {69, 1},
      {67, 1}, {71, 0.5}, {74, 0.5}, {72, 2}};
  /** One chord per bar (C, Am, F, G), struck on beats 1 and 3. */
  static final int[][] CHORDS = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
  static final int[] BASS = {36, 33, 41, 43};

  /** Where each part sits: gains for the left and the right side. */
  static final double[] VOICE_PAN = {1.0, 1.0};
  static final double[] CHORD_PAN = {0.85, 0.3};
  static final double[] BASS_PAN = {0.3, 0.85};

  private ExampleSong() {}

  static double midiHz(double note) { return 440 * Math.pow(2, (note - 69) / 12); }

  /** The song as stereo 16-bit PCM at 44100 Hz, about ten seconds long. */
  public static Audio make() {
    int frames = (int) Math.round((BEATS + 1) * BEAT * SAMPLE_RATE);
    double[] left = new double[frames];
    double[] right = new double[frames];
    double[] part = new double[frames];

    double t = 0;
    for (double[] note : MELODY) {
      voice(part, midiHz(note[0]), t, note[1] * BEAT);
      t += note[1] * BEAT;
    }
    mix(part, VOICE_PAN, left, right);

    for (int bar = 0; bar < CHORDS.length; bar++) {
      for (int strike = 0; strike < 2; strike++) {
        double start = (bar * 4 + strike * 2) * BEAT;
        for (int note : CHORDS[bar]) piano(part, midiHz(note), start, 2 * BEAT, 0.28);
      }
    }
    mix(part, CHORD_PAN, left, right);

    for (int bar = 0; bar < BASS.length; bar++) {
      for (int beat = 0; beat < 4; beat++) bass(part, midiHz(BASS[bar]), (bar * 4 + beat) * BEAT, BEAT);
    }
    mix(part, BASS_PAN, left, right);

    double max = 1e-9;
    for (int i = 0; i < frames; i++) max = Math.max(max, Math.max(Math.abs(left[i]), Math.abs(right[i])));
    double scale = PEAK * 32767 / max;
    short[] samples = new short[2 * frames];
    for (int i = 0; i < frames; i++) {
      samples[2 * i] = (short) Math.round(left[i] * scale);
      samples[2 * i + 1] = (short) Math.round(right[i] * scale);
    }
    return new Audio(samples, 2, SAMPLE_RATE);
  }

  private static void mix(double[] part, double[] pan, double[] left, double[] right) {
    for (int i = 0; i < part.length; i++) {
      left[i] += pan[0] * part[i];
      right[i] += pan[1] * part[i];
      part[i] = 0;
    }
  }

  /**
   * A sung vowel ("ah"): harmonics of the note shaped by three formants, with a vibrato that
   * sets in after a fifth of a second, a soft attack and a short release before the next note.
   */
  private static void voice(double[] out, double hz, double start, double length) {
    double[] formant = {730, 1090, 2440};
    double[] width = {160, 180, 260};
    double[] weight = {1.0, 0.5, 0.3};
    int harmonics = (int) (5000 / hz);
    double[] amp = new double[harmonics + 1];
    for (int h = 1; h <= harmonics; h++) {
      double f = h * hz;
      double shape = 0.15;
      for (int k = 0; k < 3; k++) shape += weight[k] * Math.exp(-Math.pow((f - formant[k]) / width[k], 2));
      amp[h] = shape / Math.sqrt(h);
    }
    int first = (int) (start * SAMPLE_RATE);
    int count = (int) (length * SAMPLE_RATE);
    double phase = 0;
    for (int i = 0; i < count && first + i < out.length; i++) {
      double time = (double) i / SAMPLE_RATE;
      double depth = 0.005 * Math.min(1, Math.max(0, (time - 0.2) / 0.2));
      double vibrato = 1 + depth * Math.sin(2 * Math.PI * 5.5 * time);
      phase += 2 * Math.PI * hz * vibrato / SAMPLE_RATE;
      double envelope = Math.min(1, time / 0.04) * Math.min(1, (length - time) / 0.06);
      double s = 0;
      for (int h = 1; h <= harmonics; h++) s += amp[h] * Math.sin(h * phase);
      out[first + i] += 0.5 * envelope * s;
    }
  }

  /** A struck string: harmonics that die away faster the higher they are. */
  private static void piano(double[] out, double hz, double start, double length, double gain) {
    int first = (int) (start * SAMPLE_RATE);
    int count = (int) (length * SAMPLE_RATE);
    for (int i = 0; i < count && first + i < out.length; i++) {
      double time = (double) i / SAMPLE_RATE;
      double envelope = Math.min(1, time / 0.005) * Math.min(1, (length - time) / 0.03);
      double s = 0;
      for (int h = 1; h <= 6; h++) {
        s += Math.exp(-time * (1.2 + 0.9 * h)) / Math.pow(h, 1.5) * Math.sin(2 * Math.PI * h * hz * time);
      }
      out[first + i] += gain * envelope * s;
    }
  }

  /** A round plucked bass: fundamental and a little second harmonic. */
  private static void bass(double[] out, double hz, double start, double length) {
    int first = (int) (start * SAMPLE_RATE);
    int count = (int) (length * SAMPLE_RATE);
    for (int i = 0; i < count && first + i < out.length; i++) {
      double time = (double) i / SAMPLE_RATE;
      double envelope =
          Math.min(1, time / 0.01) * Math.exp(-time * 2.5) * Math.min(1, (length - time) / 0.03);
      double s = Math.sin(2 * Math.PI * hz * time) + 0.35 * Math.sin(4 * Math.PI * hz * time);
      out[first + i] += 0.45 * envelope * s;
    }
  }
}
