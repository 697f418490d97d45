package velmora.chordsmith.engine;

import java.util.Arrays;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.audio.PcmSource;

/**
 * Drives the engine block by block from a stream, as an application's audio thread does: each
 * {@link #step} reads one block of whole hops from a source (silence where the source has
 * ended), runs it through the engine and leaves the output in {@link #samples()}. Nothing is
 * allocated after construction, so a live player's audio thread can step it.
 *
 * <p>Between blocks the speed may change ({@link #setPlan}, a plan for the same frame and
 * oversampling: the next block asks for the new output hop, and the engine's frames carry on
 * without a gap), and the source may change (a seek or a loop: step the new one). One thread
 * steps it; the engine's setters and meters may be used from any thread meanwhile.
 */
public final class Stretcher {
  private final Engine engine;
  private final int channels;
  private volatile StretchPlan plan;
  /** A block's input and, on return, its output: room for the slowest speed the set-up plays. */
  private final short[] block;
  private final float[] bands = new float[EngineFacts.BANDS];

  public Stretcher(Engine engine, StretchPlan plan, int channels) {
    this.engine = engine;
    this.plan = plan;
    this.channels = channels;
    // Output hops reach half a frame at most (StretchPlan.overlapsEnough).
    int mostOut = plan.blockHops * Math.max(plan.stepOut, plan.frameSize / 2);
    this.block = new short[Math.max(plan.blockInFrames(), mostOut) * channels];
  }

  /**
   * Sets the engine up for stretches by {@code plan} of audio at {@code sampleRate} with
   * {@code channels}, mixed by {@code mix}. Every setting is written, since the engine keeps them
   * from any earlier run in the process.
   */
  public static void configure(Engine engine, StretchPlan plan, int sampleRate, int channels, Mix mix) {
    engine.init(plan.frameSize, plan.overSampling, sampleRate, channels);
    mix.apply(engine, plan.frameSize, sampleRate);
    engine.enableSpectrum(true);
  }

  /** The plan blocks are cut by. */
  public StretchPlan plan() { return plan; }

  /**
   * Changes the speed from the next block on: {@code next} must have this set-up's frame size,
   * oversampling and block (any {@link StretchPlan#of} for them at another speed has).
   */
  public void setPlan(StretchPlan next) {
    StretchPlan now = plan;
    if (next.frameSize != now.frameSize || next.overSampling != now.overSampling
        || next.blockHops != now.blockHops) {
      throw new IllegalArgumentException("a new speed must keep the frame, the oversampling and the block");
    }
    plan = next;
  }

  /**
   * Runs one block: reads {@code plan().blockInFrames()} frames from {@code in} (silence after
   * its end), processes them, and leaves {@code plan().blockOutFrames()} output frames at the
   * start of {@link #samples()}. Returns the frames read, fewer than a block once {@code in} ended.
   */
  public int step(PcmSource in) throws FileException {
    StretchPlan p = plan;
    int samplesIn = p.blockInFrames();
    int got = in.read(block, 0, samplesIn);
    Arrays.fill(block, got * channels, samplesIn * channels, (short) 0);
    engine.process(block, samplesIn, p.blockOutFrames());
    return got;
  }

  /** The last block's output (interleaved), valid until the next step. */
  public short[] samples() { return block; }

  /** The last block's peak after the preamp, 1.0 = full scale. */
  public float peak() { return engine.maxLevel(); }

  /**
   * The 72 bands as the analyser reads them now, brought to the output's level at 0 dB preamp
   * (a full-scale sine reads {@link EngineFacts#FULL_SCALE_READING}); the array is reused.
   */
  public float[] spectrum() {
    engine.spectrum(bands);
    float scale = EngineFacts.spectrumToOutput(plan.frameSize, plan.stepOut);
    for (int b = 0; b < EngineFacts.BANDS; b++) bands[b] *= scale;
    return bands;
  }
}
