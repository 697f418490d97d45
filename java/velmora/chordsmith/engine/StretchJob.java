package velmora.chordsmith.engine;

import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.audio.FileException;
import velmora.chordsmith.audio.PcmSource;

/**
 * Stretches a whole recording, streamed: block by block through a {@link Stretcher}, the output
 * trimmed to line up with the input and handed on as it is made, so memory stays the same at
 * any length.
 *
 * <p>The output starts at input frame {@code lead} of the stream (what precedes it only primes
 * the engine) and ends where the stream ends: {@link StretchPlan#outputFrames} of the frames
 * between. Until the stream ends that length is unknown, so frames are handed on as they come,
 * and the engine is fed silence after the end until the tail is out. Along the way the peak
 * is kept and the spectrum is read after every block, as an application's display would.
 */
public final class StretchJob {
  /** Where the output goes. */
  public interface Output {
    void write(short[] samples, int offset, int frames) throws FileException;
  }

  /**
   * The spectrum after each block: {@code bands} (valid during the call only) describe output
   * time {@code seconds} (negative before the output starts); {@code outputSeconds} is the
   * output's length, infinite until the stream has ended.
   */
  public interface Readings {
    void reading(float[] bands, double seconds, double outputSeconds);
  }

  /** Told how many frames of the stream have been consumed so far. */
  public interface Progress {
    void update(long frames);
  }

  /** The frames the output stands for (after the lead), the frames written, the peak of every block. */
  public record Result(long inputFrames, long outputFrames, float peak) {}

  private StretchJob() {}

  /**
   * Runs {@code in} through {@code engine} (set up by {@link Stretcher#configure}) cut by
   * {@code plan}, writing the output from stream frame {@code lead} on, a whole number of input
   * hops, to {@code out}.
   */
  public static Result run(Engine engine, StretchPlan plan, PcmSource in, long lead, Output out, Readings readings,
                           Progress progress) throws FileException {
    if (lead < 0 || lead % plan.stepIn != 0) throw new IllegalArgumentException("lead " + lead);
    Stretcher stretcher = new Stretcher(engine, plan, in.channels());
    double rate = in.sampleRate();
    int blockIn = plan.blockInFrames();
    int blockOut = plan.blockOutFrames();
    // Engine output frames before the output starts: the latency and the lead, stretched.
    long drop = plan.latency + lead / plan.stepIn * plan.stepOut;
    long keep = -1;
    long read = 0;
    long engineFrames = 0;
    float peak = 0;
    while (keep < 0 || engineFrames < drop + keep) {
      int got = stretcher.step(in);
      read += got;
      if (got < blockIn && keep < 0) keep = plan.outputFrames(Math.max(0, read - lead));
      engineFrames += blockOut;
      peak = Math.max(peak, stretcher.peak());
      double outputSeconds = keep < 0 ? Double.POSITIVE_INFINITY : keep / rate;
      double seconds = (engineFrames - drop - EngineFacts.SPECTRUM_DELAY) / rate;
      readings.reading(stretcher.spectrum(), seconds, outputSeconds);
      progress.update(read);
      // Keep engine frames [drop, drop + keep) of this block's [engineFrames - blockOut, engineFrames).
      long blockStart = engineFrames - blockOut;
      long from = Math.max(blockStart, drop);
      long to = keep < 0 ? engineFrames : Math.min(engineFrames, drop + keep);
      if (to > from) out.write(stretcher.samples(), (int) (from - blockStart), (int) (to - from));
    }
    return new Result(Math.max(0, read - lead), keep, peak);
  }
}
