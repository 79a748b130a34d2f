create table a ( x int );
insert into a values ( 1 );
update a set x = 2 where x = 1;
