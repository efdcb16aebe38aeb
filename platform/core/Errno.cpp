// Errno.cpp — errno to result code, one table.
#include "platform/core/Errno.h"

#include <cerrno>
#include <iterator>

namespace macplatform {
namespace {

const ErrnoRow kTable[] = {
    {ENOENT, fnfErr, "the item does not exist"},
    {ENOTDIR, dirNFErr, "a component of the path is not a folder"},
    {ELOOP, fnfErr, "too many symbolic links: the item cannot be reached"},
    {EACCES, afpAccessDenied, "permissions refuse the operation"},
    {EPERM, afpAccessDenied, "the user may not change this item"},
    {EROFS, wPrErr, "the volume is read-only (write-protected)"},
    {ENOTSUP, errFSOperationNotSupported, "the file system has no user extended attributes"},
    {ENODATA, errFSAttributeNotFound, "the extended attribute is absent"},
    {E2BIG, errFSAttributeNotFound, "the attribute is larger than expected"},
    {ERANGE, errFSAttributeNotFound, "the attribute does not fit the buffer"},
    {ENOSPC, dskFulErr, "the volume is full"},
    {EDQUOT, errFSQuotaExceeded, "the user's quota is exhausted"},
    {ENAMETOOLONG, bdNamErr, "a name or path is too long"},
    {EEXIST, dupFNErr, "an item of that name exists"},
    {EBUSY, fBsyErr, "the item is busy"},
    {EISDIR, notAFileErr, "a folder where a file was expected"},
    {EXDEV, diffVolErr, "the items are on different volumes"},
    {EMFILE, tmfoErr, "too many files open in the process"},
    {ENFILE, tmfoErr, "too many files open in the system"},
    {ENOMEM, memFullErr, "out of memory"},
    {EINVAL, paramErr, "an argument was refused"},
    {EBADF, paramErr, "a descriptor that is not open"},
    {EIO, ioErr, "an input/output error"},
    {ESRCH, procNotFound, "no such process"},
    {ECONNREFUSED, connectionInvalid, "nobody listens at the other end"},
    {ECONNRESET, connectionInvalid, "the other end went away"},
    {EPIPE, connectionInvalid, "the other end went away"},
    {ENOTCONN, connectionInvalid, "the connection is not established"},
    {ETIMEDOUT, errAETimeout, "the operation timed out"},
};

}  // namespace

OSErr OSErrFromErrno(int error) {
  if (error == 0) return noErr;
  for (const ErrnoRow& row : kTable)
    if (row.error == error) return row.result;
  return ioErr;
}

const ErrnoRow* ErrnoTable(size_t* count) {
  *count = std::size(kTable);
  return kTable;
}

}  // namespace macplatform
