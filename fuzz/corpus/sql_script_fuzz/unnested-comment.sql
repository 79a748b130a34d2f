/* SQLite ends a block comment at its first end: /* inner */ commit; */
update player set level = level + 1 where id = 4;
