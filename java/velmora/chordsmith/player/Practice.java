package velmora.chordsmith.player;

/**
 * Practice mode: a loop played a little faster on each pass, from {@code startPercent} by
 * {@code stepPercent} per pass up to {@code goalPercent}, where it stays. Pass 0 is the first
 * time through the loop.
 */
public record Practice(int startPercent, int stepPercent, int goalPercent) {
  /** Start at 70%, add 5% per pass, up to the original tempo. */
  public static final Practice DEFAULT = new Practice(70, 5, 100);

  public Practice {
    startPercent = Speeds.clamp(startPercent);
    goalPercent = Speeds.clamp(goalPercent);
    // Whole steps of the speed grid, so every pass plays an offered speed.
    int steps = Math.round((float) stepPercent / Speeds.STEP_PERCENT);
    int most = Speeds.MAX_PERCENT / Speeds.STEP_PERCENT;
    stepPercent = Speeds.STEP_PERCENT * Math.max(0, Math.min(most, steps));
  }

  /** The speed of pass {@code pass}: rising toward the goal (or falling, if it lies below the start). */
  public int percentFor(int pass) {
    long moved = (long) stepPercent * Math.max(0, pass);
    if (goalPercent >= startPercent) return (int) Math.min(goalPercent, startPercent + moved);
    return (int) Math.max(goalPercent, startPercent - moved);
  }
}
