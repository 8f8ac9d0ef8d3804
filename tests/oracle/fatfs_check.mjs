// Reads volumes with FatFs (the js-fatfs build of it), the FAT code many embedded devices run, and reports how it
// sees each one: node fatfs_check.mjs JS_FATFS_DIR EXPECTED_IN WRITTEN_OUT IMAGE...
// For each image (a FAT volume from sector 0, with IN.BIN on it) one line: the image, the FAT type, the cluster
// count (free clusters plus the clusters IN.BIN takes), and "ok" when IN.BIN reads back as EXPECTED_IN and
// FATFS.BIN (the bytes of WRITTEN_OUT) was written, else what failed.
import * as fs from 'fs';
import * as path from 'path';
import { pathToFileURL } from 'url';

const [dir, expectedPath, writtenPath, ...images] = process.argv.slice(2);
const FatFs = await import(pathToFileURL(path.join(dir, 'dist', 'fatfs.js')).href);
const expected = fs.readFileSync(expectedPath);
const written = fs.readFileSync(writtenPath);
const kSector = 512;

let disk = { fd: -1, sectors: 0 };
const diskio = {
  initialize: () => 0,
  status: () => 0,
  read(ff, pdrv, buff, sector, count) {
    const bytes = Buffer.alloc(count * kSector);
    fs.readSync(disk.fd, bytes, 0, bytes.length, sector * kSector);
    ff.HEAPU8.set(bytes, buff);
    return FatFs.RES_OK;
  },
  write(ff, pdrv, buff, sector, count) {
    fs.writeSync(disk.fd, ff.HEAPU8.subarray(buff, buff + count * kSector), 0, count * kSector, sector * kSector);
    return FatFs.RES_OK;
  },
  ioctl(ff, pdrv, cmd, buff) {
    if (cmd === FatFs.CTRL_SYNC) return FatFs.RES_OK;
    if (cmd === FatFs.GET_SECTOR_COUNT) { ff.setValue(buff, disk.sectors, 'i32'); return FatFs.RES_OK; }
    if (cmd === FatFs.GET_SECTOR_SIZE) { ff.setValue(buff, kSector, 'i16'); return FatFs.RES_OK; }
    if (cmd === FatFs.GET_BLOCK_SIZE) { ff.setValue(buff, 1, 'i32'); return FatFs.RES_OK; }
    return FatFs.RES_PARERR;
  },
};
const ff = await FatFs.create({ diskio });
const types = { [FatFs.FS_FAT12]: 'FAT12', [FatFs.FS_FAT16]: 'FAT16', [FatFs.FS_FAT32]: 'FAT32' };
const fatfs = ff.malloc(FatFs.sizeof_FATFS);
const fil = ff.malloc(FatFs.sizeof_FIL);
const fno = ff.malloc(FatFs.sizeof_FILINFO);
const num = ff.malloc(4), pfs = ff.malloc(4);
const buf = ff.malloc(Math.max(expected.length, written.length));

function check(image) {
  let r = ff.f_mount(fatfs, '', 1);
  if (r !== FatFs.FR_OK) return `- - mount error ${r}`;
  const type = types[ff.HEAPU8[fatfs]] ?? `type${ff.HEAPU8[fatfs]}`;
  const boot = Buffer.alloc(kSector);
  fs.readSync(disk.fd, boot, 0, kSector, 0);
  const clusterBytes = boot[13] * kSector;
  if ((r = ff.f_getfree('', num, pfs)) !== FatFs.FR_OK) return `${type} - getfree error ${r}`;
  const clusters = ff.getValue(num, 'i32') + Math.ceil(expected.length / clusterBytes);
  const head = `${type} ${clusters}`;
  if ((r = ff.f_open(fil, 'IN.BIN', FatFs.FA_READ)) !== FatFs.FR_OK) return `${head} open IN.BIN error ${r}`;
  r = ff.f_read(fil, buf, expected.length, num);
  ff.f_close(fil);
  if (r !== FatFs.FR_OK || ff.getValue(num, 'i32') !== expected.length) return `${head} read IN.BIN error ${r}`;
  if (!Buffer.from(ff.HEAPU8.subarray(buf, buf + expected.length)).equals(expected)) return `${head} IN.BIN differs`;
  if ((r = ff.f_open(fil, 'FATFS.BIN', FatFs.FA_WRITE | FatFs.FA_CREATE_ALWAYS)) !== FatFs.FR_OK)
    return `${head} create FATFS.BIN error ${r}`;
  ff.HEAPU8.set(written, buf);
  r = ff.f_write(fil, buf, written.length, num);
  const closed = ff.f_close(fil);
  if (r !== FatFs.FR_OK || closed !== FatFs.FR_OK || ff.getValue(num, 'i32') !== written.length)
    return `${head} write FATFS.BIN error ${r}/${closed}`;
  if ((r = ff.f_unmount('')) !== FatFs.FR_OK) return `${head} unmount error ${r}`;
  return `${head} ok`;
}

for (const image of images) {
  const fd = fs.openSync(image, 'r+');
  disk = { fd, sectors: Math.floor(fs.fstatSync(fd).size / kSector) };
  try {
    console.log(`${image} ${check(image)}`);
  } finally {
    ff.f_unmount('');
    fs.closeSync(fd);
  }
}
