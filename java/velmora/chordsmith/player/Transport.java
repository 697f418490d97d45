package velmora.chordsmith.player;

import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicReference;

/**
 * What the listener asks of the transport, handed from the window to the audio thread without a
 * lock: play or pause, a seek, the speed, the A-B loop and practice mode. The window calls the
 * setters and returns at once; the audio thread reads the requests at the start of every block
 * and acts on them there. Every field is an atomic holding a plain value or an immutable record,
 * so a reader always sees a whole request, never half of one.
 *
 * <p>Positions are input frames of the current recording; {@link #setLength} bounds them.
 */
public final class Transport {
  /** A request to move to {@code frame}; {@code serial} tells requests apart, counting from 1. */
  public record Seek(long frame, long serial) {}

  private final AtomicBoolean playing = new AtomicBoolean();
  private final AtomicInteger speedPercent = new AtomicInteger(100);
  private final AtomicReference<Seek> pendingSeek = new AtomicReference<>();
  private final AtomicReference<Seek> lastSeek = new AtomicReference<>(new Seek(0, 0));
  private final AtomicReference<Loop> loop = new AtomicReference<>(Loop.EMPTY);
  private final AtomicReference<Practice> practice = new AtomicReference<>();
  private volatile long length;
  private volatile int sampleRate = 44100;

  /** A new recording: no loop, and positions within {@code frames}. */
  public void setLength(long frames, int rate) {
    length = frames;
    sampleRate = rate;
    loop.set(Loop.EMPTY);
  }

  public long length() { return length; }

  public int sampleRate() { return sampleRate; }

  public void play() { playing.set(true); }

  public void pause() { playing.set(false); }

  public void togglePlay() {
    boolean was;
    do {
      was = playing.get();
    } while (!playing.compareAndSet(was, !was));
  }

  public boolean playing() { return playing.get(); }

  /** The audio thread stops at the end of the recording, unless the listener pressed play again. */
  void stoppedAtEnd() { playing.set(false); }

  /** Asks to move to {@code frame}, kept within the recording. */
  public Seek seek(long frame) {
    long clamped = Math.max(0, Math.min(length, frame));
    Seek s;
    Seek last;
    do {
      last = lastSeek.get();
      s = new Seek(clamped, last.serial() + 1);
    } while (!lastSeek.compareAndSet(last, s));
    pendingSeek.set(s);
    return s;
  }

  /** The latest seek asked for (serial 0 before any). */
  public Seek lastSeek() { return lastSeek.get(); }

  /** The audio thread takes the seek asked for since it last looked, or null. */
  Seek takeSeek() { return pendingSeek.getAndSet(null); }

  /** Sets the speed, rounded to an offered one; returns it. */
  public int setSpeed(int percent) {
    int p = Speeds.clamp(percent);
    speedPercent.set(p);
    return p;
  }

  /** Moves the speed by {@code steps} steps of 5%; returns the new speed. */
  public int changeSpeed(int steps) { return speedPercent.updateAndGet(p -> Speeds.step(p, steps)); }

  public int speedPercent() { return speedPercent.get(); }

  public Loop loop() { return loop.get(); }

  /** Marks A at {@code position}, the position the listener hears. */
  public Loop markA(long position) { return loop.updateAndGet(l -> l.withA(clamp(position))); }

  /** Marks B at {@code position}, the position the listener hears. */
  public Loop markB(long position) { return loop.updateAndGet(l -> l.withB(clamp(position))); }

  /** Loops from {@code x} to {@code y}, in either order. */
  public Loop setLoop(long x, long y) {
    Loop l = Loop.between(x, y, length);
    loop.set(l);
    return l;
  }

  public void clearLoop() { loop.set(Loop.EMPTY); }

  /** Practice mode on with {@code p}, or off with null. */
  public void setPractice(Practice p) { practice.set(p); }

  public Practice practice() { return practice.get(); }

  /**
   * The speed to play now: the practice ramp's speed for {@code pass} while practice mode is on
   * and the loop plays, the chosen speed otherwise.
   */
  public int speedFor(int pass) {
    Practice p = practice.get();
    return p != null && loop.get().plays(sampleRate) ? p.percentFor(pass) : speedPercent.get();
  }

  private long clamp(long position) { return Math.max(0, Math.min(length, position)); }
}
