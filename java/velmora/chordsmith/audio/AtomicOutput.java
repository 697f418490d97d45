package velmora.chordsmith.audio;

import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.ByteBuffer;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.ThreadLocalRandom;

/**
 * An output file that appears complete or not at all. Everything is written to a hidden
 * temporary file beside the target (same folder, so same file system), flushed to disk, and
 * renamed over the target only by {@link #commit}; {@link #close} without a commit deletes it.
 * A shutdown hook removes temporaries left by an interrupted run (Ctrl-C).
 *
 * <p>Opening fails early, before any work is done, when the folder is missing or unwritable.
 */
public final class AtomicOutput implements AutoCloseable {
  private static final Set<Path> PENDING = ConcurrentHashMap.newKeySet();
  private static boolean hookInstalled;

  public final Path target;
  private final Path temp;
  private final FileChannel channel;
  private final OutputStream stream;
  private boolean committed;
  /** The file was handed to another writer by name: {@link #handOver}. */
  private boolean handedOver;

  private AtomicOutput(Path target, Path temp, FileChannel channel) {
    this.target = target;
    this.temp = temp;
    this.channel = channel;
    this.stream = new BufferedOutputStream(Channels.newOutputStream(channel), 1 << 16);
  }

  public static AtomicOutput open(Path target) throws FileException {
    if (Files.isDirectory(target)) throw new FileException("cannot write " + target + ": it is a folder");
    if (Files.exists(target) && !Files.isWritable(target)) {
      throw new FileException("cannot write " + target + ": the file is write-protected");
    }
    Path folder = target.toAbsolutePath().getParent();
    if (folder == null || !Files.isDirectory(folder)) {
      throw new FileException("cannot write " + target + ": the folder " + folder + " does not exist");
    }
    installHook();
    for (int attempt = 0; ; attempt++) {
      String unique = Long.toHexString(ThreadLocalRandom.current().nextLong());
      Path temp = folder.resolve("." + target.getFileName() + "." + unique + ".part");
      try {
        FileChannel channel = FileChannel.open(temp, StandardOpenOption.CREATE_NEW, StandardOpenOption.WRITE);
        PENDING.add(temp);
        return new AtomicOutput(target, temp, channel);
      } catch (FileAlreadyExistsException e) {
        if (attempt == 10) {
          throw new FileException("cannot write " + target + ": cannot create a temporary file beside it");
        }
      } catch (IOException e) {
        throw new FileException("cannot write " + target + ": " + FileException.reason(e));
      }
    }
  }

  private static synchronized void installHook() {
    if (hookInstalled) return;
    hookInstalled = true;
    Runtime.getRuntime().addShutdownHook(new Thread(() -> {
      for (Path p : PENDING) {
        try {
          Files.deleteIfExists(p);
        } catch (IOException ignored) {
          // Best effort while the JVM goes down.
        }
      }
    }, "chordsmith-cleanup"));
  }

  /** Where to write; closed by {@link #commit} or {@link #close}, not by the caller. */
  public OutputStream stream() { return stream; }

  /**
   * Writes {@code bytes} at {@code position} of what was written so far, over it: a header
   * that only the end of the data completes.
   */
  public void overwrite(long position, byte[] bytes) throws FileException {
    try {
      stream.flush();
      channel.write(ByteBuffer.wrap(bytes), position);
    } catch (IOException e) {
      throw new FileException("cannot write " + target + ": " + FileException.reason(e));
    }
  }

  /**
   * Hands the temporary file over to another writer, a child process that opens it by name and
   * writes it whole (replacing anything written here); {@link #commit} then puts it in place.
   */
  public Path handOver() throws FileException {
    try {
      stream.close();
    } catch (IOException e) {
      throw new FileException("cannot write " + target + ": " + FileException.reason(e));
    }
    handedOver = true;
    return temp;
  }

  /** Flushes the data to disk and renames the temporary file over the target. */
  public void commit() throws FileException {
    try {
      if (handedOver) {
        try (FileChannel written = FileChannel.open(temp, StandardOpenOption.WRITE)) {
          written.force(true);
        }
      } else {
        stream.flush();
        channel.force(true);
        stream.close();
      }
      try {
        Files.move(temp, target, StandardCopyOption.ATOMIC_MOVE);
      } catch (AtomicMoveNotSupportedException e) {
        Files.move(temp, target, StandardCopyOption.REPLACE_EXISTING);
      }
      committed = true;
      PENDING.remove(temp);
    } catch (IOException e) {
      throw new FileException("cannot write " + target + ": " + FileException.reason(e));
    }
  }

  /** Discards the temporary file unless committed. */
  @Override
  public void close() {
    if (committed) return;
    try {
      stream.close();
    } catch (IOException ignored) {
      // The file is deleted next; a failed close changes nothing.
    }
    try {
      Files.deleteIfExists(temp);
    } catch (IOException ignored) {
      // Left for the shutdown hook.
    }
    if (!Files.exists(temp)) PENDING.remove(temp);
  }

  /** The temporary file, for tests. */
  Path tempPath() { return temp; }
}
