create trigger r after insert on t_sys_ver begin select case when 1 then 'a' end; end;
/* c */ -- d
select 'commit', "begin", [end];
