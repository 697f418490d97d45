package velmora.chordsmith;

/**
 * The application's door to the native audio engine (libchordsmith).
 *
 * <p>Samples are 16-bit PCM in a {@code short[]}: mono, or interleaved stereo (left at 2i,
 * right at 2i + 1). Frame counts ({@code samplesIn}, {@code samplesOut}) count samples per
 * channel. The engine is process-wide: every instance of this class drives the same engine.
 *
 * <p>Threads: call {@link #dspInit} once before the first {@link #dspProcess}, and never while a
 * block is being processed; call {@code dspProcess} from one thread at a time (the audio
 * thread). Every other method may be called from any thread at any time.
 */
public final class NativeInterface {
  static {
    System.loadLibrary("chordsmith");
  }

  /** Sets the engine up: frame size (a power of two up to 4096), frames per frame length, rate, channels. */
  public native void dspInit(int jFrameSize, int jOverSampling, int jSampleRate, int nChannels);

  /**
   * Time-stretches one block in place: consumes {@code samplesIn} frames of {@code samples} and
   * writes {@code samplesOut} frames back into it. {@code pitchShiftAmount} has no effect.
   */
  public native void dspProcess(short[] samples, int samplesIn, int samplesOut, float pitchShiftAmount);

  /** Linear output gain, 1.0 by default. */
  public native void dspSetPreamp(float jpreamp);

  /** Balance (0..100, 50 = unchanged) or mono fold, stereo only; both act only while panning is active. */
  public native void dspPanning(int jPanningActive, int jMonoActive, int jPanningLevel);

  public native void dspVoiceRemovalEnable(int enabled);

  /** Weight of the filtered opposite channel that voice removal subtracts; 0 or less disables it. */
  public native void dspVoiceRemovalAmount(float amount);

  /**
   * Stereo link, off (0) by default: any other value stretches the two channels together, with
   * their phases linked, so that the stereo image and the mono sum survive the stretch; 0
   * stretches each channel on its own, as the engine always did. Switching restarts both
   * channels' phases at the next frame, as a speed change does. No effect in mono.
   */
  public native void dspStereoLink(int enabled);

  /** Peak level of the most recent block after the preamp, 1.0 = full scale. */
  public native float dspGetMaxLevel();

  /** Linear gain per FFT bin of the positive half of a frame (frame size / 2 values). */
  public native void dspEQSetBands(float[] levels);

  public native void dspEQEnable(int enabled);

  /** Voice-removal filter: denominator {@code coeffA} (a[0] taken as 1), numerator {@code coeffB}. */
  public native void dspVoiceRemovalFilter(double[] coeffA, double[] coeffB, int sizeA, int sizeB);

  public native void dspSpectrumEnable(int enabled);

  /** Copies up to {@code jSize} of the 72 semitone band levels (C1 to B6) into {@code jSpectrum}. */
  public native void dspGetSpectrum(float[] jSpectrum, int jSize);
}
