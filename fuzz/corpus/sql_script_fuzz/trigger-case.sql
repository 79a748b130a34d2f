create table level_titles (player_id int primary key, title text);
create trigger player_title after update of level on player
begin
    insert or replace into level_titles values (new.id,
        case when new.level >= 60 then 'Legend' when new.level >= 30 then 'Veteran' else 'Novice' end);
    update player set gold = gold + case when new.level > old.level then 100 else 0 end where id = new.id;
end;
update player set level = level + 1 where id = 1;
