begin; commit; savepoint s; release s; rollback; end;
