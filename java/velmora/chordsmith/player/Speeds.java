package velmora.chordsmith.player;

import velmora.chordsmith.EngineFacts;

/**
 * The speeds the player offers, 25% to 150% in steps of 5%, and the engine hops that play them.
 *
 * <p>The engine's speed is {@code stepIn / stepOut}. The player feeds one input hop per block and
 * asks for exactly one output hop back, so the engine derives stepOut from that pair in single
 * precision; {@link #outputHop} picks a stepOut it gives back unchanged, so every block reads
 * fresh output only. Speeds are whole percentages, so equal requests give equal hops and a
 * request that does not change the speed never touches the engine. The realised speed is within
 * 1.6% of the one asked for (exact at 25, 40, 50, 80 and 100%), and the window shows it.
 */
public final class Speeds {
  public static final int MIN_PERCENT = 25;
  public static final int MAX_PERCENT = 150;
  public static final int STEP_PERCENT = 5;
  /**
   * Frames per frame length. The slowest speed asks for an output hop of four input hops; the
   * engine's frames must still overlap twice there ({@code stepOut <= frameSize / 2}), so the
   * analysis hop is an eighth of a frame at every speed: changing the oversampling would mean a
   * new set-up, which drops the audio queued in the engine.
   */
  public static final int OVERSAMPLING = 16;
  /** The analyser's decimation: output hops are whole multiples of it. */
  static final int ANALYSER_STEP = 4;

  private Speeds() {}

  /** The offered speed nearest to {@code percent}. */
  public static int clamp(int percent) {
    int steps = Math.round((float) (percent - MIN_PERCENT) / STEP_PERCENT);
    return Math.max(MIN_PERCENT, Math.min(MAX_PERCENT, MIN_PERCENT + steps * STEP_PERCENT));
  }

  /** {@code steps} steps of 5% up (or down, when negative) from {@code percent}, within range. */
  public static int step(int percent, int steps) { return clamp(clamp(percent) + steps * STEP_PERCENT); }

  /**
   * Frame size for a sample rate: 40 to 90 ms, long enough to resolve a bass note's partials and
   * short enough to keep the engine's delay small (1024 frames up to 24 kHz, 2048 up to 48 kHz,
   * the engine's largest frame above).
   */
  public static int frameSize(int sampleRate) {
    if (sampleRate <= 24000) return 1024;
    return sampleRate <= 48000 ? 2048 : EngineFacts.MAX_FRAME_SIZE;
  }

  /**
   * The output hop that plays {@code percent} with input hop {@code stepIn}: the multiple of 4
   * nearest to stepIn × 100 / percent that the engine's single-precision quotient of a one-hop
   * block gives back exactly (every hop is given back when stepIn is a power of two). A multiple
   * of 4, because the engine's analyser keeps every fourth sample of each output hop, starting
   * afresh at each: any other hop drops samples between hops, which shifts and smears what it
   * measures, so that at a hop of 170 a C5 reads 30 dB low and the display names other notes.
   * The realised speed is then within 2 frames in stepOut of the one asked for.
   */
  public static int outputHop(int stepIn, int percent) {
    long ideal = Math.max(1, Math.round(stepIn * 100.0 / percent / ANALYSER_STEP));
    for (int d = 0; d <= stepIn; d++) {
      for (long m : new long[] {ideal + d, ideal - d}) {
        long candidate = m * ANALYSER_STEP;
        if (m >= 1 && EngineFacts.outputHop(stepIn, (int) candidate, stepIn) == candidate) {
          return (int) candidate;
        }
      }
    }
    throw new IllegalArgumentException("no output hop near " + ideal + " for an input hop of " + stepIn);
  }
}
