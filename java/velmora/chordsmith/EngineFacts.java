package velmora.chordsmith;

/**
 * What the native engine does, in the numbers a Java caller needs to drive it and to show what
 * it measures: the spectrum's bands and their notes, the level a steady signal comes out at,
 * what the analyser reads for a full-scale sine, how far a set-up delays the sound, and the
 * exact output hop a block asks for. These are properties of the library's arithmetic, fixed
 * with it; everything on the Java side that depends on them reads them here.
 *
 * <p>Units: levels are linear, 1.0 = full scale (a 16-bit sample of 32768); times are sample
 * frames (samples per channel).
 */
public final class EngineFacts {
  /** Semitone bands that {@link NativeInterface#dspGetSpectrum} fills: band 0 is C1, 71 is B6. */
  public static final int BANDS = 72;
  /** The band of A4, 440 Hz. */
  public static final int A4_BAND = 45;
  /** The largest frame size {@link NativeInterface#dspInit} takes (it must be a power of two). */
  public static final int MAX_FRAME_SIZE = 4096;

  /**
   * The engine's own gain on a steady signal. Analysis and synthesis windows are both Hann (the
   * synthesis one scaled by 2 / N), the transforms multiply by N, only the positive half of the
   * spectrum is rebuilt (halving the real part), and Hann squared overlaps to 3N / (8 stepOut):
   * together 3N / (8 stepOut). The engine divides by N / (2 stepOut), which leaves 3/4
   * (-2.5 dB) at every speed with four or more overlapping frames. A preamp of 1 / 0.75 makes
   * it up.
   */
  public static final double STEADY_GAIN = 0.75;

  /**
   * What the analyser reads, once settled, for a full-scale sine in the middle of a band: 0.25
   * per analysis, times 1 / (1 - 0.2) from its smoothing. The analyser measures the vocoder's
   * output before the engine's overlap normalisation and preamp; see {@link #spectrumToOutput}.
   * It keeps every fourth sample of each output hop, starting afresh at each, so this holds for
   * output hops that are a multiple of 4; other hops drop samples and read up to 3 dB lower.
   */
  public static final float FULL_SCALE_READING = 0.3125f;

  /**
   * The analyser's window spans 4096 samples at a quarter of the rate: 16384 output frames. A
   * reading describes the window's centre, this many frames before the newest output frame.
   */
  public static final int SPECTRUM_DELAY = 8192;

  private static final String[] NOTE_NAMES =
      {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

  private EngineFacts() {}

  /** "C1", "F#3", "A4", ... for band 0 .. {@link #BANDS} - 1. */
  public static String noteName(int band) { return NOTE_NAMES[band % 12] + (1 + band / 12); }

  /** A band's equal-tempered centre frequency in Hz. */
  public static double bandHz(int band) { return 440 * Math.pow(2, (band - A4_BAND) / 12.0); }

  /** The band a frequency falls in, by the nearest semitone; may lie outside 0 .. BANDS - 1. */
  public static int band(double hz) {
    return (int) Math.round(A4_BAND + 12 * Math.log(hz / 440) / Math.log(2));
  }

  /**
   * The synthesis hop the engine derives from a block of {@code samplesIn} frames in and
   * {@code samplesOut} asked for, with analysis hop {@code stepIn}: the ratio in single
   * precision first, then the product, truncated. A block asking for h × stepOut frames for h
   * hops gets that many fresh frames only if this gives back stepOut (682 in, 720 out gives
   * 719). The engine clamps the result to 0 .. frame size; within that range this is exact.
   */
  public static int outputHop(int samplesIn, int samplesOut, int stepIn) {
    return (int) (((float) samplesOut / (float) samplesIn) * (float) stepIn);
  }

  /**
   * Output frames before input time 0 comes out, with frames of {@code frameSize} analysed
   * every {@code stepIn} input frames and laid down every {@code stepOut} output frames. The
   * engine pads its first frame with frameSize - stepIn zeros, and a frame whose centre sits at
   * input time t comes out centred at (t - stepIn + frameSize / 2) × stepOut / stepIn +
   * frameSize / 2; at unit speed that is frameSize - stepIn. Rounded to a frame.
   */
  public static long latency(int frameSize, int stepIn, int stepOut) {
    double ratio = (double) stepOut / stepIn;
    return Math.round(frameSize / 2.0 + (frameSize / 2.0 - stepIn) * ratio);
  }

  /**
   * The factor that brings an analyser reading to the level of the output at a preamp of
   * 1 / {@link #STEADY_GAIN} (the input's own level): the analyser sees the vocoder's output
   * before the division by frameSize / (2 stepOut), so the same music reads the same at every
   * speed once multiplied by this. A full-scale sine then reads {@link #FULL_SCALE_READING}.
   */
  public static float spectrumToOutput(int frameSize, int stepOut) {
    return (float) (2.0 * stepOut / frameSize / STEADY_GAIN);
  }
}
