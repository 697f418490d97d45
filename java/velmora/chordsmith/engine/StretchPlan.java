package velmora.chordsmith.engine;

import velmora.chordsmith.EngineFacts;

/**
 * How a stretch is cut into engine blocks, and where its output lines up with its input.
 *
 * <p>The engine analyses frames of {@code frameSize} samples every {@code stepIn} input samples
 * and lays them down every {@code stepOut} output samples, so the speed it plays at is exactly
 * {@code stepIn / stepOut}. It derives {@code stepOut} for every block from the ratio of the
 * frames asked for to the frames supplied, in single precision and truncated. So every block
 * supplies a whole number h of hops and asks for exactly h × stepOut frames back: then every
 * frame read is fresh and none is left behind. Every block has the same h, and stepOut is one
 * that the engine's float quotient gives back exactly.
 *
 * <p>The requested speed is realised as {@code stepOut = round(stepIn / speed)}, so the realised
 * speed differs from the request by at most half a sample in {@code stepIn} (under 0.1 % at the
 * default hop of 512). An input of n frames lasts {@link #outputFrames}(n) frames at that speed.
 *
 * <p>Latency: input time 0 comes out {@link #latency} frames late (the first frame's zero
 * padding, scaled to the output: {@link EngineFacts#latency}); input frame t comes out at
 * latency + t × stepOut / stepIn. A recording's stretch drops that many leading output frames,
 * so the output starts where the input starts and an event at input time t sits at t / speed,
 * and feeds silence after the input until the tail is out.
 */
public final class StretchPlan {
  /** Input frames per engine block, rounded down to whole hops: about a tenth of a second. */
  public static final int BLOCK_FRAMES = 4096;
  /** Frames overlapping each frame length unless a speed needs more: see {@link #overSamplingFor}. */
  public static final int DEFAULT_OVERSAMPLING = 4;

  public final int frameSize;
  public final int overSampling;
  public final int stepIn;
  public final int stepOut;
  /** Hops per block, the same for every block. */
  public final int blockHops;
  /** Leading engine output frames that precede input time 0. */
  public final long latency;

  private StretchPlan(int frameSize, int overSampling, int stepOut, int blockHops) {
    this.frameSize = frameSize;
    this.overSampling = overSampling;
    this.stepIn = frameSize / overSampling;
    this.stepOut = stepOut;
    this.blockHops = blockHops;
    this.latency = EngineFacts.latency(frameSize, stepIn, stepOut);
  }

  /**
   * The output frames an input of {@code inputFrames} frames becomes: rounded, in integers (no
   * double rounding on long inputs).
   */
  public long outputFrames(long inputFrames) {
    return (2 * inputFrames * stepOut + stepIn) / (2L * stepIn);
  }

  /**
   * Plans a stretch at {@code speed}. Throws
   * IllegalArgumentException when the geometry cannot give that speed cleanly: no hop in the
   * frame, no output hop the engine gives back, or output frames that would not overlap.
   */
  public static StretchPlan of(int frameSize, int overSampling, double speed) {
    int stepIn = frameSize / overSampling;
    if (stepIn < 1) {
      throw new IllegalArgumentException(
          "oversampling " + overSampling + " leaves no hop in a frame of " + frameSize);
    }
    int[] hops = chooseHops(stepIn, speed);
    int stepOut = hops[0];
    if (!overlapsEnough(frameSize, stepOut)) {
      throw new IllegalArgumentException("speed " + speed + " needs an output hop of " + stepOut
          + " samples, more than half the frame of " + frameSize);
    }
    return new StretchPlan(frameSize, overSampling, stepOut, hops[1]);
  }

  /**
   * The oversampling for {@code speed} with frames of {@code frameSize}: 4 (frames overlapping
   * by three quarters, the usual choice for music), or the smallest power of two above it that
   * keeps the output hop within half a frame, so that slow speeds play without gaps: 8 below
   * half speed at any frame size. IllegalArgumentException when no oversampling up to the
   * frame size will do.
   */
  public static int overSamplingFor(int frameSize, double speed) {
    for (int overSampling = DEFAULT_OVERSAMPLING; overSampling <= frameSize; overSampling *= 2) {
      try {
        if (overlapsEnough(frameSize, chooseHops(frameSize / overSampling, speed)[0])) return overSampling;
      } catch (IllegalArgumentException noExactHop) {
        // Try the next: a shorter input hop has other output hops near it.
      }
    }
    throw new IllegalArgumentException("no oversampling plays speed " + speed + " with frames of " + frameSize);
  }

  /**
   * Output frames must overlap at least twice, or the Hann-windowed frames leave audible gaps
   * (and the engine cannot take a hop longer than a frame at all).
   */
  public static boolean overlapsEnough(int frameSize, int stepOut) { return stepOut <= frameSize / 2; }

  /**
   * {stepOut, hops per block}: stepOut = round(stepIn / speed) and as many hops as fit in
   * {@link #BLOCK_FRAMES}. The engine's quotient of h × stepOut and h × stepIn is the same
   * correctly rounded float for every h, and with a power-of-two stepIn (a power-of-two frame
   * and oversampling give one) it is exact, so stepOut comes back unchanged. Should it not, the
   * nearest stepOut that does is taken, so that no block ever reads a stale frame; when none
   * within 32 of it does, IllegalArgumentException.
   */
  public static int[] chooseHops(int stepIn, double speed) {
    int hops = Math.max(1, BLOCK_FRAMES / stepIn);
    long ideal = Math.max(1, Math.round(stepIn / speed));
    for (int d = 0; d <= 32; d++) {
      for (long candidate : new long[] {ideal + d, ideal - d}) {
        if (candidate < 1 || candidate > Integer.MAX_VALUE / (2L * hops)) continue;
        if (EngineFacts.outputHop(hops * stepIn, hops * (int) candidate, stepIn) == candidate) {
          return new int[] {(int) candidate, hops};
        }
      }
    }
    throw new IllegalArgumentException(
        "no output hop near " + ideal + " works with an input hop of " + stepIn);
  }

  /** The speed the engine really plays at. */
  public double realisedSpeed() { return (double) stepIn / stepOut; }

  public int blockInFrames() { return blockHops * stepIn; }

  public int blockOutFrames() { return blockHops * stepOut; }
}
