package velmora.chordsmith.player;

/**
 * An A-B loop over the input, in input frames: the passage [a, b) repeats while the loop is on.
 * Either mark may be missing ({@link #NONE}) while the listener is setting them; a loop plays
 * only when both are set and at least {@link #MIN_SECONDS} apart.
 */
public record Loop(long a, long b) {
  public static final long NONE = -1;
  /** Shorter passages would be mostly crossfade. */
  public static final double MIN_SECONDS = 0.2;
  public static final Loop EMPTY = new Loop(NONE, NONE);

  /** The loop from {@code x} to {@code y} in either order, kept within [0, length]. */
  public static Loop between(long x, long y, long length) {
    long lo = Math.max(0, Math.min(Math.min(x, y), length));
    long hi = Math.max(0, Math.min(Math.max(x, y), length));
    return new Loop(lo, hi);
  }

  /** A set at {@code position}; a B that would no longer follow it is dropped. */
  public Loop withA(long position) { return new Loop(position, b != NONE && b <= position ? NONE : b); }

  /** B set at {@code position}; an A that would no longer precede it is dropped. */
  public Loop withB(long position) { return new Loop(a != NONE && a >= position ? NONE : a, position); }

  /** True when both marks are set and far enough apart to play as a loop at {@code sampleRate}. */
  public boolean plays(int sampleRate) {
    return a != NONE && b != NONE && b - a >= MIN_SECONDS * sampleRate;
  }
}
