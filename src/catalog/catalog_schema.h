// SPDX-License-Identifier: Apache-2.0
// The catalog's file format: its tables and indexes, statement by statement, with the message
// shown when a statement fails, and the codes of its typed rows. The catalog is uploaded to the
// server and read there and by corvioctl, so these texts and codes are read by programs other
// than the one that writes them. The version row that completes the schema is written after
// the statements.
#pragma once

#include <string_view>

namespace corvio {

struct CatalogSchemaStep {
  std::string_view sql;
  std::string_view failure;
};

inline constexpr CatalogSchemaStep kCatalogSchema[] = {
    {"create table catinfo ( id integer not null primary key autoincrement, type smallint "
     "unsigned not null, misc varchar(1024) not null )",
     "Error initializing catalog / catinfo"},
    {"create unique index catinfo_type on catinfo( type )",
     "Error creating indexes on catalog / catinfo"},
    {"create table filespec ( id integer not null primary key autoincrement, parent_id integer "
     "unsigned not null, filename varchar(1024) not null collate nocase, filename_full "
     "varchar(1024) not null collate nocase, type integer unsigned not null, attr integer "
     "unsigned not null, mode integer unsigned not null, owner integer unsigned not null, _group "
     "integer unsigned not null, size integer unsigned not null, t_access integer unsigned not "
     "null, t_change integer unsigned not null, t_modify integer unsigned not null, "
     "t_backup_start integer unsigned not null, t_backup_end integer unsigned not null, blocksize "
     "integer unsigned not null, extra varchar(1024) not null )",
     "Error initializing catalog / filespec"},
    {"create unique index filespec_filename_full on filespec( filename_full )",
     "Error creating indexes on catalog / filespec"},
    {"create index filespec_parent_id on filespec( parent_id )",
     "Error creating indexes on catalog / filespec"},
    {"create index filespec_filename on filespec( filename )",
     "Error creating indexes on catalog / filespec"},
    {"create table segs ( id integer not null primary key autoincrement, filespec_id integer "
     "unsigned not null, offset integer unsigned not null, size integer unsigned not null, md5 "
     "char(32) not null )",
     "Error initializing catalog / segs"},
    {"create unique index segs_filespec_offset on segs ( filespec_id, offset )",
     "Error creating indexes on catalog / segs"},
    {"create index segs_md5 on segs( md5 )", "Error creating indexes on catalog / segs"},
    {"create table config ( id integer not null primary key autoincrement, type varchar(1024) "
     "not null, parm varchar(1024) not null, parm2 varchar(1024) not null)",
     "Error initializing catalog / config"},
    {"create index config_type on config( type )", "Error creating indexes on catalog / config"},
    {"create table corvio_info ( id integer not null primary key autoincrement, type integer "
     "unsigned not null, client_type integer unsigned not null, ver_major integer unsigned not "
     "null, ver_minor integer unsigned not null, ver_build integer unsigned not null )",
     "Error initializing catalog / corvio_info"},
};

// corvio_info.type of the version row: a catalog being built (or left so by a run that was
// cancelled or never finished) keeps kCatalogBuilding; only one that holds every end-of-run row
// is marked kCatalogComplete, so a reader can tell the complete record of a run.
inline constexpr int kCatalogComplete = 128;
inline constexpr int kCatalogBuilding = 129;

// catinfo.type: one row per fact of the run, its value in misc as unsigned decimal text, so that
// a reader finds a fact by its type alone.
namespace catinfo {

// Written when the catalog is created: three rows holding the constant 1, and the catalog number.
inline constexpr int kConstantTypes[] = {1, 2, 3};
inline constexpr int kCatalogId = 21;

// Written at the end of a run that was not cancelled. Times are seconds since 1970, low 32 bits;
// the rest are the run's counters, written whole.
inline constexpr int kStartTime = 22;
inline constexpr int kEndTime = 23;
inline constexpr int kFiles = 32;
inline constexpr int kDirectories = 33;
inline constexpr int kSpecialFiles = 34;
inline constexpr int kBytesTotal = 35;
inline constexpr int kBytesStored = 36;
inline constexpr int kBytesCompressed = 37;
inline constexpr int kBytesSkipped = 38;
inline constexpr int kBytesDuped = 39;
inline constexpr int kFilesSkipped = 40;
inline constexpr int kFilesScanned = 41;
inline constexpr int kSegsTotal = 48;
inline constexpr int kSegsStored = 49;
inline constexpr int kSegsDuped = 50;
inline constexpr int kWarnings = 64;
inline constexpr int kErrors = 65;

}  // namespace catinfo

}  // namespace corvio
