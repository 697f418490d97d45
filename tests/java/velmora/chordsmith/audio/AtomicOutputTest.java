package velmora.chordsmith.audio;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** Output files appear complete or not at all. */
class AtomicOutputTest {
  @TempDir Path dir;

  private long entries() throws Exception {
    try (var s = Files.list(dir)) {
      return s.count();
    }
  }

  @Test
  void theTargetAppearsOnlyOnCommitAndNoTemporaryStays() throws Exception {
    Path target = dir.resolve("out.wav");
    try (AtomicOutput out = AtomicOutput.open(target)) {
      out.stream().write(new byte[] {1, 2, 3});
      assertFalse(Files.exists(target));
      out.commit();
    }
    assertArrayEquals(new byte[] {1, 2, 3}, Files.readAllBytes(target));
    assertEquals(1, entries());
  }

  @Test
  void anAbandonedWriteLeavesAnExistingFileAsItWas() throws Exception {
    Path target = dir.resolve("out.wav");
    Files.write(target, new byte[] {9});
    Path temp;
    try (AtomicOutput out = AtomicOutput.open(target)) {
      temp = out.tempPath();
      out.stream().write(new byte[1000]);
    }
    assertFalse(Files.exists(temp));
    assertArrayEquals(new byte[] {9}, Files.readAllBytes(target));
    assertEquals(1, entries());
  }

  @Test
  void refusesAMissingFolderAFolderAndAWriteProtectedFileBeforeWriting() throws Exception {
    Path nowhere = dir.resolve("no/such/out.wav");
    FileException missing = assertThrows(FileException.class, () -> AtomicOutput.open(nowhere));
    assertTrue(missing.getMessage().contains("does not exist"), missing.getMessage());
    FileException folder = assertThrows(FileException.class, () -> AtomicOutput.open(dir));
    assertTrue(folder.getMessage().contains("is a folder"), folder.getMessage());
    Path locked = dir.resolve("locked.wav");
    Files.write(locked, new byte[] {1});
    // Root may write anyway; the refusal is only checked where the protection holds.
    if (locked.toFile().setWritable(false, false) && !Files.isWritable(locked)) {
      FileException e = assertThrows(FileException.class, () -> AtomicOutput.open(locked));
      assertTrue(e.getMessage().contains("write-protected"));
    }
  }
}
