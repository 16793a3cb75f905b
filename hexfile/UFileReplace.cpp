// Replacing a file's contents safely and appending durably: the sequence,
// written once over the platform's binding (UFileBinding.h).
#include "UFileBinding.h"
#include "UHexFile.h"
#include "UHexFileIO.h"

namespace korvane {

namespace {

namespace fb = filebinding;

void Check(int Error) {
  if (Error != 0) {
    throw EInOutError(Error);
  }
}

void WriteAll(int Handle, std::string_view Content) {
  while (!Content.empty()) {
    std::size_t Written = 0;
    Check(fb::WriteSome(Handle, Content.data(), Content.size(), Written));
    if (Written == 0) {
      throw EInOutError(ENOSPC);
    }
    Content.remove_prefix(Written);
  }
}

// Removes the temporary file unless the save went through.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& Target) {
    for (unsigned Attempt = 0;; ++Attempt) {
      FName = fb::TemporaryName(Target, Attempt);
      const int Error = fb::CreateExclusive(FName, FHandle);
      if (Error == 0) {
        break;
      }
      if (Error != EEXIST || Attempt == 100) {
        FName.clear();
        throw EInOutError(Error);
      }
    }
  }
  ~TTemporaryFile() {
    if (FHandle >= 0) {
      fb::Close(FHandle);
    }
    if (!FName.empty()) {
      fb::Remove(FName);
    }
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  int Handle() const { return FHandle; }
  const std::string& Name() const { return FName; }
  void Close() {
    const int Handle = FHandle;
    FHandle = -1;
    Check(fb::Close(Handle));
  }
  // The file now lives under another name: nothing to remove.
  void Keep() { FName.clear(); }

 private:
  // First, so that the signals are held before the file exists and released
  // only after it is gone.
  fb::TSignalsHeld FHeld = fb::HoldTerminationSignals();
  std::string FName;
  int FHandle = -1;
};

// Writes Content to Handle and closes it, also when the write fails.
void WriteAndClose(int Handle, std::string_view Content, bool Durably) {
  try {
    WriteAll(Handle, Content);
    if (Durably) {
      Check(fb::Flush(Handle));
    }
  } catch (...) {
    fb::Close(Handle);
    throw;
  }
  Check(fb::Close(Handle));
}

}  // namespace

void ReplaceFileContents(const std::string& FileName, std::string_view Content) {
  fb::TSaveTarget Target;
  Check(fb::InspectSaveTarget(FileName, Target));
  if (Target.InPlace) {
    int Handle = -1;
    Check(fb::OpenTruncated(FileName, Handle));
    WriteAndClose(Handle, Content, false);
    return;
  }
  {
    TTemporaryFile Temporary(Target.Path);
    if (Target.Exists) {
      fb::TakeOver(Temporary.Handle(), Target);
    }
    WriteAll(Temporary.Handle(), Content);
    Check(fb::Flush(Temporary.Handle()));
    Temporary.Close();
    Check(fb::RenameOver(Temporary.Name(), Target.Path));
    Temporary.Keep();
  }
  // The new contents are in place; a failure to flush the folder's entry
  // cannot be undone any more and is not reported.
  fb::SyncFolderOf(Target.Path);
}

void AppendDurably(const std::string& FileName, std::string_view Line) {
  int Handle = -1;
  Check(fb::OpenForAppend(FileName, Handle));
  WriteAndClose(Handle, Line, true);
  fb::SyncFolderOf(FileName);
}

TFileLock::TFileLock(const std::string& FileName) {
  Check(fb::LockExclusive(FileName, FHandle));
}

TFileLock::~TFileLock() {
  fb::Close(FHandle);
}

}  // namespace korvane
