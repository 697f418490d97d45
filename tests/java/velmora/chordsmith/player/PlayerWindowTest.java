package velmora.chordsmith.player;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeFalse;

import java.awt.GraphicsEnvironment;
import java.awt.Point;
import java.awt.Rectangle;
import java.awt.Robot;
import java.awt.event.InputEvent;
import java.awt.event.KeyEvent;
import java.io.File;
import java.util.concurrent.Callable;
import java.util.function.BooleanSupplier;
import javax.imageio.ImageIO;
import javax.swing.JComponent;
import javax.swing.SwingUtilities;
import velmora.chordsmith.audio.ExampleSong;
import velmora.chordsmith.engine.NativeEngine;
import org.junit.jupiter.api.Tag;
import org.junit.jupiter.api.Test;

/**
 * The window on a display (Xvfb in CI), driven as a person would, with the mouse and the keys,
 * against the silent sink; then the player's state is read back and a screenshot saved.
 */
@Tag("window")
class PlayerWindowTest {
  private Robot robot;

  @Test
  void playsChangesSpeedLoopsAndRemovesTheVoiceFromMouseAndKeys() throws Exception {
    assumeFalse(GraphicsEnvironment.isHeadless(), "needs a display");
    Player player = new Player(new NativeEngine(),
        (rate, channels) -> SilentSink.noDevice(rate, channels, rate / 20));
    player.start();
    PlayerWindow w = onEdt(() -> {
      Theme.install();
      PlayerWindow window = new PlayerWindow(player);
      window.frame.setLocation(0, 0);
      window.show(ExampleSong.make(), "The example song");
      return window;
    });
    robot = new Robot();
    robot.setAutoDelay(15);
    robot.delay(40);
    Transport t = player.transport();
    int rate = t.sampleRate();

    click(w.spectrum, 0.5, 0.5);  // the pointer in the window, so the keys go there
    key(KeyEvent.VK_SPACE);
    await("playing", () -> player.status().playing() && player.status().position() > 0);

    for (int i = 0; i < 5; i++) key(KeyEvent.VK_DOWN);
    await("slowed to 75%", () -> player.status().percent() == 75);
    assertEquals(75, t.speedPercent());
    // The slider is brought up to date by the window's refresh, a moment after the transport.
    await("the slider follows the keys", () -> onEdtQuietly(w.speedSlider::getValue) == 75);

    drag(w.waveform, 0.2, 0.32);
    await("looping", () -> t.loop().plays(rate));
    Loop loop = t.loop();
    assertEquals(0.2 * t.length(), loop.a(), 0.01 * t.length());
    assertEquals(0.32 * t.length(), loop.b(), 0.01 * t.length());

    click(w.voiceBox, 0.2, 0.5);
    await("voice removal on", () -> player.mix().voiceOn());
    assertTrue(onEdt(w.voiceBox::isSelected));

    await("round the loop", () -> player.status().pass() >= 1 && player.status().position() < loop.b());
    double heard = player.status().position();
    assertTrue(heard >= loop.a() - 0.05 * rate && heard < loop.b(), "heard " + heard + " in " + loop);
    await("the spectrum names notes", () -> !onEdtQuietly(w.spectrum::strongestNames).isEmpty());
    assertTrue(onEdt(w.soundLabel::getText).startsWith("No sound device"));
    assertTrue(onEdt(w.loopLabel::getText).startsWith("Looping"));
    assertFalse(onEdt(w.meter::clipped));

    robot.delay(40);
    Rectangle bounds = onEdt(w.frame::getBounds);
    File shot = new File(System.getProperty("chordsmith.screenshot", "player-window.png"));
    ImageIO.write(robot.createScreenCapture(bounds), "png", shot);

    key(KeyEvent.VK_SPACE);
    await("paused", () -> !player.status().playing());
    onEdt(() -> {
      w.frame.dispose();
      return null;
    });
  }

  private void key(int code) {
    robot.keyPress(code);
    robot.keyRelease(code);
    robot.delay(40);
  }

  private Point at(JComponent c, double x, double y) throws Exception {
    return onEdt(() -> {
      Point p = c.getLocationOnScreen();
      return new Point(p.x + (int) (x * c.getWidth()), p.y + (int) (y * c.getHeight()));
    });
  }

  private void click(JComponent c, double x, double y) throws Exception {
    Point p = at(c, x, y);
    robot.mouseMove(p.x, p.y);
    robot.mousePress(InputEvent.BUTTON1_DOWN_MASK);
    robot.mouseRelease(InputEvent.BUTTON1_DOWN_MASK);
    robot.delay(40);
  }

  private void drag(JComponent c, double from, double to) throws Exception {
    Point a = at(c, from, 0.5);
    Point b = at(c, to, 0.5);
    robot.mouseMove(a.x, a.y);
    robot.mousePress(InputEvent.BUTTON1_DOWN_MASK);
    for (int i = 1; i <= 10; i++) robot.mouseMove(a.x + (b.x - a.x) * i / 10, a.y);
    robot.mouseRelease(InputEvent.BUTTON1_DOWN_MASK);
    robot.delay(40);
  }

  /** Waits for a condition the player reaches in real time; the limit only stops a broken run. */
  private static void await(String what, BooleanSupplier condition) throws InterruptedException {
    for (int i = 0; i < 1000 && !condition.getAsBoolean(); i++) Thread.sleep(20);
    assertTrue(condition.getAsBoolean(), "never " + what);
  }

  private static <T> T onEdt(Callable<T> c) throws Exception {
    Object[] result = new Object[1];
    Exception[] failure = new Exception[1];
    SwingUtilities.invokeAndWait(() -> {
      try {
        result[0] = c.call();
      } catch (Exception e) {
        failure[0] = e;
      }
    });
    if (failure[0] != null) throw failure[0];
    @SuppressWarnings("unchecked") T t = (T) result[0];
    return t;
  }

  private static <T> T onEdtQuietly(Callable<T> c) {
    try {
      return onEdt(c);
    } catch (Exception e) {
      throw new IllegalStateException(e);
    }
  }
}
