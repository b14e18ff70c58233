// The catalog's tables and indexes, statement by statement, with the message shown when a
// statement fails. The catalog is uploaded to the server and read there, so these texts are its
// file format. The version row that completes the schema is written after them.
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

}  // namespace corvio
