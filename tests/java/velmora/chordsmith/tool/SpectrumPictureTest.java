package velmora.chordsmith.tool;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.awt.image.BufferedImage;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.util.List;
import javax.imageio.ImageIO;
import velmora.chordsmith.EngineFacts;
import org.junit.jupiter.api.Test;

/** The spectrum picture, the strongest-notes sentence and the progress bar. */
class SpectrumPictureTest {
  private static float[] tone(int band, float level) {
    float[] bands = new float[EngineFacts.BANDS];
    bands[band] = level;
    return bands;
  }

  private static int brightness(BufferedImage image, int x, int band) {
    int rgb = image.getRGB(x, SpectrumPicture.rowTop(band) + SpectrumPicture.ROW / 2);
    return (rgb >> 16 & 0xff) + (rgb >> 8 & 0xff) + (rgb & 0xff);
  }

  @Test
  void showsEachReadingAtItsTimeAndPitch() throws Exception {
    // A4 for the first half of ten seconds, C2 for the second.
    SpectrumRecorder readings = new SpectrumRecorder();
    readings.reading(tone(45, 0.3f), 1.0, 10);
    readings.reading(tone(45, 0.3f), 4.0, 10);
    readings.reading(tone(12, 0.3f), 6.0, 10);
    readings.reading(tone(12, 0.3f), 9.0, 10);
    BufferedImage image = SpectrumPicture.render(readings, 10, "test");
    int plot = SpectrumPicture.plotWidth(10);
    assertEquals(SpectrumPicture.LEFT + plot + SpectrumPicture.RIGHT, image.getWidth());
    int early = SpectrumPicture.LEFT + plot / 4;
    int late = SpectrumPicture.LEFT + 3 * plot / 4;
    assertTrue(brightness(image, early, 45) > brightness(image, early, 12) + 300);
    assertTrue(brightness(image, late, 12) > brightness(image, late, 45) + 300);
    assertEquals(0, brightness(image, early, 30));

    ByteArrayOutputStream png = new ByteArrayOutputStream();
    assertTrue(ImageIO.write(image, "png", png));
    BufferedImage back = ImageIO.read(new ByteArrayInputStream(png.toByteArray()));
    assertEquals(image.getHeight(), back.getHeight());
    int a4 = SpectrumPicture.rowTop(45);
    assertEquals(image.getRGB(early, a4), back.getRGB(early, a4));
  }

  @Test
  void scalesColoursToTheLoudestReading() {
    // The loudest reading, -20 dB, rounded up to a multiple of 6 dB; silence gets 0 dB.
    assertEquals(-18, SpectrumPicture.topOfScale(0.3125f / 10), 1e-9);
    assertEquals(0, SpectrumPicture.topOfScale(0f), 1e-9);
    assertEquals(0xfff4be, SpectrumPicture.colour(-18, -18));
    assertEquals(0, SpectrumPicture.colour(-78, -18));
  }

  @Test
  void namesTheStrongestNotesAndLeavesOutTheFaintOnes() {
    float[] bands = new float[EngineFacts.BANDS];
    bands[45] = 0.3125f;
    bands[57] = 0.3125f / 4;
    bands[10] = 0.3125f / 1000;
    SpectrumRecorder readings = new SpectrumRecorder();
    readings.reading(bands, 0.5, Double.POSITIVE_INFINITY);
    readings.reading(bands, 1.5, 2);
    // Readings from before the output starts, or after its end, do not count.
    readings.reading(tone(20, 1f), -0.1, 2);
    readings.reading(tone(20, 1f), 2.1, 2);
    assertEquals(List.of("A4 (440 Hz) 0 dB", "A5 (880 Hz) -12 dB"), SpectrumPicture.strongestNotes(readings, 5));
  }

  @Test
  void keepsReadingsSpreadOverAnyLengthInBoundedMemory() {
    SpectrumRecorder readings = new SpectrumRecorder();
    int count = 10 * SpectrumRecorder.KEPT + 7;
    for (int i = 0; i < count; i++) readings.reading(tone(i % 72, 0.01f + i * 1e-6f), i, Double.POSITIVE_INFINITY);
    int kept = readings.times().size();
    assertTrue(kept >= SpectrumPicture.MAX_WIDTH && kept < SpectrumRecorder.KEPT, "kept " + kept);
    // Evenly spread from the first to nearly the last, and the loudest of all remembered.
    assertEquals(0.0, readings.times().get(0));
    double step = readings.times().get(1) - readings.times().get(0);
    assertEquals(count - 1, readings.times().get(kept - 1), step);
    assertEquals(0.01f + (count - 1) * 1e-6f, readings.loudest());
  }

  @Test
  void labelsBandsAndTimes() {
    assertEquals("C1", EngineFacts.noteName(0));
    assertEquals("A4", EngineFacts.noteName(45));
    assertEquals("B6", EngineFacts.noteName(71));
    assertEquals(45, EngineFacts.band(440));
    assertEquals("1:05", SpectrumPicture.clock(65));
    assertEquals("0:02.5", SpectrumPicture.clock(2.5));
  }

  @Test
  void theProgressBarFillsInProportion() {
    assertEquals("Go [" + "-".repeat(30) + "]   0%", ProgressBar.render("Go", 0, Double.NaN));
    assertTrue(ProgressBar.render("Go", 50, Double.NaN).contains("#".repeat(15) + "-".repeat(15) + "]  50%"));
    assertTrue(ProgressBar.render("Go", 100, Double.NaN).endsWith("#".repeat(30) + "] 100%"));
  }

  @Test
  void theProgressBarEstimatesTheTimeLeftFromThePaceSoFar() {
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    long[] now = {0};
    ProgressBar bar = new ProgressBar(new PrintStream(bytes, true), "Go", 1000, 100, true, () -> now[0]);
    bar.update(100);
    now[0] = 3_000_000_000L;
    bar.update(250);  // a quarter in three seconds: nine left
    bar.finish();
    String shown = bytes.toString();
    assertTrue(shown.contains(" 25%  0:09 left"), shown);
    assertTrue(shown.contains(" 10%") && !shown.contains(" 10%  "), "no estimate in the first second: " + shown);
  }
}
