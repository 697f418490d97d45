package velmora.chordsmith.player;

/**
 * What the audio thread last reported, for the window: the position the listener hears (input
 * frames, the engine's and the device's delays accounted for), the speed being heard and the hops
 * that realise it, whether it plays, the loop pass, the latest seek that has reached the speaker,
 * the recording it is about (its number from {@link Player#open}), and when this was true
 * ({@link System#nanoTime}), so that the window can move the position on smoothly between
 * reports.
 */
public record Status(double position, int percent, int stepIn, int stepOut, boolean playing, int pass,
                     long seekHeard, int track, long nanos) {
  public static final Status IDLE = new Status(0, 100, 1, 1, false, 0, 0, 0, 0);

  /** The speed the engine really plays at, stepIn / stepOut. */
  public double realisedSpeed() { return (double) stepIn / stepOut; }

  /**
   * The position at {@code now}: moved on at the speed while playing, but never further than
   * {@code limit} frames of output past the report, so a stalled thread does not run away.
   */
  public double positionAt(long now, int sampleRate, int limit) {
    if (!playing) return position;
    double frames = Math.min(limit, Math.max(0, (now - nanos) * 1e-9 * sampleRate));
    return position + frames * realisedSpeed();
  }
}
